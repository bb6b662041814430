#ifndef NETWORKBUILDER_H
#define NETWORKBUILDER_H

#include "QmdKelvoController.h"
#include "QmdMemModel.h"

// Builds a network document through the controller's requests, as a user would draw it.
// Positions are in principals on the grid (x to the right, y down).
class NetworkBuilder
{
public:
    NetworkBuilder();

    QmdKelvoController& controller() { return m_controller; }

    // A document setting at the root.
    void setRoot(const QString& key, const QVariant& value);
    // The id of the document's scale mode with the given name.
    QmdItemId scaleMode(const QString& label) const;

    // An instrument on the built-in synthesizer, on one channel (1 to 16), with the colour of
    // the palette's entry; program 1 to 128 is sent when the document opens, 0 sends none.
    QmdItemId instrument(const QString& label, int paletteIndex, int channel, int program);

    QmdItemId node(double x, double y, const QString& notes,
                   QmdKelvo::SignallingMethod method = QmdKelvo::Sequential);
    // An edge from one node to another; `uses` is its count in the from-node's usage list
    // (how often in a row a sequential node takes it, its weight at a random node).
    QmdItemId edge(QmdItemId from, QmdItemId to, int uses = 1,
                   QmdKelvo::EdgePath path = QmdKelvo::CityBlock);
    QmdItemId voiceGroup(QmdItemId startNode, QmdItemId instrument, const QString& pitch,
                         const QString& velocity, const QString& duration);
    // A text box whose top-left corner is at (x, y); the text is the body of an HTML page.
    QmdItemId textBox(double x, double y, const QString& bodyHtml);

    void set(QmdItemId element, const QString& key, const QVariant& value);

    bool save(const QString& fileName);

private:
    QmdItemId lastElement() const;

    QmdMemModel m_model;
    QmdKelvoController m_controller;
};

#endif // NETWORKBUILDER_H
