#pragma once

#include <QString>

namespace tolvenka {

// How a hand-over to the program that holds the queue ended.
enum class HandOver {
    // It took the links.
    Taken,
    // It refused them, or did not answer in time; it will never take them.
    Refused,
    // It is closing, or went away while asked: the queue is free in a moment.
    HolderEnding,
    // Nobody listens: the holder takes no links.
    NobodyListens,
};

// Hands `text` (the links of a later start, possibly none) to the program
// that listens on `socketName` (see LinkListener), and waits up to
// `answerWithinMs` for it to say whether it takes them.
HandOver handOverLinks(const QString& socketName, const QString& text, int answerWithinMs = 10'000);

} // namespace tolvenka
