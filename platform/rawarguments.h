#pragma once

#include <QByteArray>
#include <QString>

namespace pfw {

// A command-line argument as the system handed it over. Where the system hands over bytes (not
// Windows), bytes that are not valid in the encoding of file names turn into U+FFFD on the way
// to text: "core-\xff.settings" would then name another file, or none.
struct RawArgument
{
    QByteArray bytes;

    // Whether the text Qt makes of it names the same bytes again.
    bool roundTrips() const;
    // The bytes for people: printable ASCII as it is, anything else as \xNN.
    QString shown() const;
};

// The first argument after the program name that does not round-trip, or none (empty bytes and
// index -1). Always none on Windows, which hands over text.
int firstUnencodableArgument(int argc, char *argv[], RawArgument *found = nullptr);

} // namespace pfw
