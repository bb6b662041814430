#ifndef EXAMPLES_H
#define EXAMPLES_H

#include <QList>
#include <QString>

class NetworkBuilder;

// A network that Kelvo ships: its file name in the bundle's resources and how it is drawn.
struct ExampleNetwork
{
    QString fileName;
    void (*build)(NetworkBuilder& builder);
};

// The default template, then the examples.
const QList<ExampleNetwork>& exampleNetworks();

#endif // EXAMPLES_H
