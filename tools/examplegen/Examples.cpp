// The default template and the example networks that Kelvo ships.

#include "Examples.h"

#include "NetworkBuilder.h"
#include "QmdKelvoKeys.h"

namespace K = QmdKelvoKeys;
using QmdKelvo::Parallel;
using QmdKelvo::Random;

namespace {

// General MIDI programs (1 to 128) and channels.
enum Program {
    MusicBox = 11,
    Vibraphone = 12,
    Marimba = 13,
    NylonGuitar = 25,
    FingerBass = 34,
    Flute = 74,
    WarmPad = 90,
};
constexpr int DrumChannel = 10;

QString note(const QString& title, const QStringList& lines)
{
    return QStringLiteral("<p><b>%1</b></p><p>%2</p>")
        .arg(title, lines.join(QStringLiteral("<br/>")));
}

// An empty network whose instrument plays on the built-in synthesizer, channel 1.
void buildTemplate(NetworkBuilder& b)
{
    b.controller().requestLoadStylePreset(QStringLiteral("Dark"));
    b.controller().requestAddInstrument();
}

// A marimba wanders through C major pentatonic over a slow bass; two nodes choose their way
// at random.
void buildPentatonicWalk(NetworkBuilder& b)
{
    b.setRoot(K::Title, QStringLiteral("Pentatonic Walk"));
    b.setRoot(K::Tempo, 112u);
    const QmdItemId marimba = b.instrument(QStringLiteral("Marimba"), 0, 1, Marimba);
    const QmdItemId bass = b.instrument(QStringLiteral("Bass"), 2, 2, FingerBass);

    // The walk: a ring of eighth notes, C4 up to A4 and back down, with two ways across.
    const QmdItemId c4 = b.node(0, 0, QStringLiteral("C4:100:100%"));
    const QmdItemId d4 = b.node(0.5, 0, QStringLiteral("D4:80:100%"), Random);
    const QmdItemId e4 = b.node(1, 0, QStringLiteral("E4:85:100%"));
    const QmdItemId g4 = b.node(1.5, 0, QStringLiteral("G4:90:100%"));
    const QmdItemId a4 = b.node(2, 0.5, QStringLiteral("{A4:95:100% C5:95:100%}"));
    const QmdItemId g4b = b.node(1, 0.5, QStringLiteral("G4:80:100%"), Random);
    const QmdItemId e4b = b.node(0.5, 0.5, QStringLiteral("E4:85:100%"));
    const QmdItemId d4b = b.node(0, 0.5, QStringLiteral("D4:75:100%"));
    b.edge(c4, d4);
    b.edge(d4, e4, 3);
    b.edge(e4, g4);
    b.edge(g4, a4);
    b.edge(a4, g4b);
    b.edge(g4b, e4b, 2);
    b.edge(e4b, d4b);
    b.edge(d4b, c4);
    b.edge(d4, e4b);
    b.edge(g4b, e4);
    b.voiceGroup(c4, marimba, QStringLiteral("C4"), QStringLiteral("90"), QStringLiteral("0.5"));

    // The bass: long and short notes around a rectangle, two bars to a turn.
    const QmdItemId bassC = b.node(0, 1.5, QStringLiteral("C1:90:95%"));
    const QmdItemId bassG = b.node(3, 1.5, QStringLiteral("G0:75:90%"));
    const QmdItemId bassA = b.node(3, 2.5, QStringLiteral("A0:90:95%"));
    const QmdItemId bassE = b.node(0, 2.5, QStringLiteral("(E0:75:90% G0:75:90%)"));
    b.edge(bassC, bassG);
    b.edge(bassG, bassA);
    b.edge(bassA, bassE);
    b.edge(bassE, bassC);
    b.voiceGroup(bassC, bass, QStringLiteral("C1"), QStringLiteral("90"), QStringLiteral("1.0"));

    b.textBox(3.5, -0.25,
              note(QStringLiteral("Pentatonic Walk"),
                   {QStringLiteral("Press Space to play."),
                    QStringLiteral("The two nodes with two ways out"),
                    QStringLiteral("choose one at random. Right-click"),
                    QStringLiteral("a node to make it Sequential,"),
                    QStringLiteral("or draw an edge of your own."),
                    QStringLiteral("Any note of C D E G A fits.")}));
}

// Three voices walk one melody in canon over a chord cycle: two of them start at silent nodes
// whose edges hold them back by two and four beats.
void buildCanon(NetworkBuilder& b)
{
    b.setRoot(K::Title, QStringLiteral("Chord Cycle in Canon"));
    b.setRoot(K::Tempo, 84u);
    b.setRoot(K::ScaleMode, uint(b.scaleMode(QStringLiteral("Major Pentatonic"))));
    const QmdItemId vibraphone = b.instrument(QStringLiteral("Vibraphone"), 2, 1, Vibraphone);
    const QmdItemId guitar = b.instrument(QStringLiteral("Guitar"), 1, 2, NylonGuitar);
    const QmdItemId flute = b.instrument(QStringLiteral("Flute"), 4, 3, Flute);
    const QmdItemId pad = b.instrument(QStringLiteral("Pad"), 3, 4, WarmPad);

    // The melody, in steps of the document's scale: E G A G, E D C D.
    const QStringList steps
        = {QStringLiteral("+1::100%"), QStringLiteral("+1::100%"), QStringLiteral("+1::100%"),
           QStringLiteral("-1::100%"), QStringLiteral("-1::100%"), QStringLiteral("-1::100%"),
           QStringLiteral("-1::100%"), QStringLiteral("+1::100%")};
    const double ring[8][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {2, 1}, {1, 1}, {0, 1}};
    QmdItemId melody[8];
    for (int i = 0; i < 8; ++i)
        melody[i] = b.node(ring[i][0], ring[i][1], steps[i]);
    for (int i = 0; i < 8; ++i)
        b.edge(melody[i], melody[(i + 1) % 8]);
    b.voiceGroup(melody[0], vibraphone, QStringLiteral("D4"), QStringLiteral("105"),
                 QStringLiteral("1.0"));

    const QmdItemId second = b.node(-1, -1, QString());
    b.edge(second, melody[0]);
    b.voiceGroup(second, guitar, QStringLiteral("D3"), QStringLiteral("90"), QStringLiteral("1.0"));
    // The third joins at the second node, five beats on, an octave above the E that the first
    // voice carried there.
    const QmdItemId third = b.node(-2, -2, QString());
    b.edge(third, melody[1]);
    b.voiceGroup(third, flute, QStringLiteral("E5"), QStringLiteral("62"), QStringLiteral("1.0"));

    // The chords, two principals each: every node plays its next chord on each visit.
    const QmdItemId first = b.node(0, 2.5, QStringLiteral("([A1 A2 C3 E3] [C2 G2 C3 E3])"));
    const QmdItemId other = b.node(1, 3.5, QStringLiteral("([F1 F2 A2 C3] [G1 G2 B2 D3])"));
    b.edge(first, other);
    b.edge(other, first);
    b.voiceGroup(first, pad, QStringLiteral("A1"), QStringLiteral("55"), QStringLiteral("2.0"));

    b.textBox(1.75, 2.25,
              note(QStringLiteral("Chord Cycle in Canon"),
                   {QStringLiteral("Press Space to play."),
                    QStringLiteral("Three voice groups walk one melody."),
                    QStringLiteral("Two start at silent nodes whose edges"),
                    QStringLiteral("hold them back by two and four beats."),
                    QStringLiteral("The melody moves in steps (+1, -1) of"),
                    QStringLiteral("the scale: pick another scale or key for"),
                    QStringLiteral("the network in the inspector, or drag"),
                    QStringLiteral("a silent node to change its delay.")}));
}

// A drum kit on the General MIDI percussion channel with a bass line.
void buildDrums(NetworkBuilder& b)
{
    b.setRoot(K::Title, QStringLiteral("Drums on Channel 10"));
    b.setRoot(K::Tempo, 96u);
    const QmdItemId drums = b.instrument(QStringLiteral("Drums"), 4, DrumChannel, 0);
    const QmdItemId bass = b.instrument(QStringLiteral("Bass"), 2, 1, FingerBass);

    // Bass drum and snare on the beats; the third beat varies from bar to bar.
    const QmdItemId kick = b.node(0, 0, QStringLiteral("C1:110:0.5"));
    const QmdItemId snare = b.node(1, 0, QStringLiteral("D1:100:0.5"));
    const QmdItemId kick2 = b.node(1, 1,
                                   QStringLiteral("(C1:100:0.5 C1:100:0.5 "
                                                  "[C1:100:0.5 D1:45:0.5] C1:95:0.5)"));
    const QmdItemId snare2 = b.node(0, 1, QStringLiteral("D1:105:0.5"));
    b.edge(kick, snare);
    b.edge(snare, kick2);
    b.edge(kick2, snare2);
    b.edge(snare2, kick);
    b.voiceGroup(kick, drums, QStringLiteral("C1"), QStringLiteral("100"), QStringLiteral("0.5"));

    // Hi-hats in eighths: closed, with an open one now and then.
    const QmdItemId h1 = b.node(2, 0, QStringLiteral("F#1:90:0.25"));
    const QmdItemId h2 = b.node(2.5, 0, QStringLiteral("F#1:55:0.25"));
    const QmdItemId h3 = b.node(2.5, 0.5, QStringLiteral("F#1:75:0.25"));
    const QmdItemId h4 = b.node(2, 0.5, QStringLiteral("{F#1:55:0.25 F#1:55:0.25 A#1:65:0.5}"));
    b.edge(h1, h2);
    b.edge(h2, h3);
    b.edge(h3, h4);
    b.edge(h4, h1);
    b.voiceGroup(h1, drums, QStringLiteral("F#1"), QStringLiteral("80"), QStringLiteral("0.25"));

    // The bass: C, C, D#, then G or A# in turn, one bar to a turn.
    const QmdItemId b1 = b.node(0, 2, QStringLiteral("C1:105:1.25"));
    const QmdItemId b2 = b.node(1.5, 2, QStringLiteral("C1:80:0.4"));
    const QmdItemId b3 = b.node(1.5, 2.5, QStringLiteral("D#1:95:0.9"));
    const QmdItemId b4 = b.node(0.5, 2.5, QStringLiteral("(G0:95:0.9 A#0:95:0.9)"));
    b.edge(b1, b2);
    b.edge(b2, b3);
    b.edge(b3, b4);
    b.edge(b4, b1);
    b.voiceGroup(b1, bass, QStringLiteral("C1"), QStringLiteral("100"), QStringLiteral("1.0"));

    b.textBox(3.25, -0.25,
              note(QStringLiteral("Drums on Channel 10"),
                   {QStringLiteral("Press Space to play."),
                    QStringLiteral("On channel 10 every pitch is a drum:"),
                    QStringLiteral("C1 bass drum, D1 snare, F#1 closed"),
                    QStringLiteral("hi-hat and A#1 open hi-hat."),
                    QStringLiteral("Try C#2 (crash) or D#1 (hand clap)"),
                    QStringLiteral("on a node, or right-click a voice"),
                    QStringLiteral("group to mute it.")}));
}

// Three notes against four in the same time: two loops of equal length, one with four nodes
// and one with three.
void buildThreeAgainstFour(NetworkBuilder& b)
{
    b.setRoot(K::Title, QStringLiteral("Three Against Four"));
    b.setRoot(K::Tempo, 100u);
    b.setRoot(K::DivsPerPrincipal, 3u);
    const QmdItemId marimba = b.instrument(QStringLiteral("Marimba"), 0, 1, Marimba);
    const QmdItemId bells = b.instrument(QStringLiteral("Music Box"), 2, 2, MusicBox);

    // Four beats around a square.
    const QmdItemId s1 = b.node(0, 0, QStringLiteral("C3:120:0.9"));
    const QmdItemId s2 = b.node(1, 0, QStringLiteral("G3:90:0.9"));
    const QmdItemId s3 = b.node(1, 1, QStringLiteral("(E3:100:0.9 F3:100:0.9)"));
    const QmdItemId s4 = b.node(0, 1, QStringLiteral("G3:90:0.9"));
    b.edge(s1, s2);
    b.edge(s2, s3);
    b.edge(s3, s4);
    b.edge(s4, s1);
    b.voiceGroup(s1, marimba, QStringLiteral("C3"), QStringLiteral("100"), QStringLiteral("1.0"));

    // Three notes in the same four beats around a rectangle: each edge is four thirds of a beat.
    const QmdItemId t1 = b.node(2, 0, QStringLiteral("G4,A4:110:100%"));
    const QmdItemId t2 = b.node(2 + 4.0 / 3, 0, QStringLiteral("E4,F4:90:100%"));
    const QmdItemId t3 = b.node(2 + 2.0 / 3, 2.0 / 3, QStringLiteral("C5:100:100%"));
    b.edge(t1, t2);
    b.edge(t2, t3, 1, QmdKelvo::CityBlockFlipped);
    b.edge(t3, t1);
    b.voiceGroup(t1, bells, QStringLiteral("G4"), QStringLiteral("90"), QStringLiteral("1.0"));

    b.textBox(0, 1.75,
              note(QStringLiteral("Three Against Four"),
                   {QStringLiteral("Press Space to play."),
                    QStringLiteral("Both loops are four beats long: the left"),
                    QStringLiteral("one has four nodes, the right one three."),
                    QStringLiteral("Drag a node of the right loop to stretch"),
                    QStringLiteral("it, or add a node to make it five.")}));
}

} // namespace

const QList<ExampleNetwork>& exampleNetworks()
{
    static const QList<ExampleNetwork> networks = {
        {QStringLiteral("template.kvd"), &buildTemplate},
        {QStringLiteral("Examples/Pentatonic Walk.kvd"), &buildPentatonicWalk},
        {QStringLiteral("Examples/Chord Cycle in Canon.kvd"), &buildCanon},
        {QStringLiteral("Examples/Drums on Channel 10.kvd"), &buildDrums},
        {QStringLiteral("Examples/Three Against Four.kvd"), &buildThreeAgainstFour},
    };
    return networks;
}
