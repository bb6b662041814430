#ifndef SCALEMODE_H
#define SCALEMODE_H

#include <QHashFunctions>
#include <QList>
#include <QSet>
#include <QString>

// A scale mode: a set of chromatic degrees (bit d set for the degree d semitones above the
// key) with its name and its place in the choosers. Two modes are the same when their labels
// and degree sets are; the display order does not count.
class ScaleMode
{
public:
    ScaleMode() = default;
    ScaleMode(const QString& label, quint32 chromaticDegreeSet, int displayOrder)
        : label(label)
        , chromaticDegreeSet(chromaticDegreeSet)
        , displayOrder(displayOrder)
    { }

    friend bool operator==(const ScaleMode& a, const ScaleMode& b)
    {
        return a.label == b.label && a.chromaticDegreeSet == b.chromaticDegreeSet;
    }
    friend bool operator!=(const ScaleMode& a, const ScaleMode& b) { return !(a == b); }

    // Reads a degree set written as degrees in braces, separated by commas. Any run of braces,
    // white space and commas separates; parts that are not a degree 0..11 are ignored. A text
    // without any degree reads as all twelve (4095).
    static quint32 parseDegreeSet(const QString& text);
    // The degree set as text: the degrees in braces, separated by commas, as in "{0,2,4}".
    static QString degreeSetText(quint32 degreeSet);

    // Loads the built-in scale modes from the bundle's "ScaleModes.plist": the file's modes in
    // file order followed by chromatic unless the file has it; "Chromatic", "Major" and
    // "Minor" when the file is missing, malformed or holds no usable mode.
    static void builtInScaleModes(QList<ScaleMode>* list, QSet<ScaleMode>* set,
                                  const ScaleMode& chromatic);
    // The same from the property list at fileName.
    static void scaleModesFromFile(const QString& fileName, QList<ScaleMode>* list,
                                   QSet<ScaleMode>* set, const ScaleMode& chromatic);

    QString label;
    quint32 chromaticDegreeSet = 0;
    int displayOrder = 0;
};

inline size_t qHash(const ScaleMode& mode, size_t seed = 0) noexcept
{
    return qHash(mode.label, seed) ^ mode.chromaticDegreeSet;
}

#endif // SCALEMODE_H
