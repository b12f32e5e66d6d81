#pragma once

namespace tolvenka {

class Download;

// How much of a transfer's file has arrived, read the same way wherever it
// is shown. Any thread may ask; the figures are read once each.
//
// In thousandths, for a bar; -1 when the download is not transferring or
// its size is not known.
int permilleReceived(const Download& download);
// In whole percent, cut, not rounded, so that 100 means all of it; -1 as
// above.
int percentReceived(const Download& download);

} // namespace tolvenka
