#ifndef NOTESEDITBENCH_H
#define NOTESEDITBENCH_H

// Times one keystroke in a shown notes editor that holds 5,000 characters of notes: the key
// handling with the validation and the colouring of the whole text, and with the repaint that
// follows. Prints the median and the worst of 100 keystrokes against the target of 16 ms. Needs
// a QApplication.
void benchNotesEditKeystroke();

#endif // NOTESEDITBENCH_H
