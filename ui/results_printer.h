// CResultsPrinter: lays the results out for a QPrinter, the way the print
// and print-preview commands print them: landscape, a header ("t r o v e l a n e
// 2.52 Search Results for <search text>") with a rule under it, a footer with
// a rule above it, and the URLs of the records in store order, one a line. A
// URL wider than the page takes two lines, the first ending in "...", the
// second beginning with "..." and carrying the end of the URL; a record whose
// lines do not both fit moves to the next page.
//
// The printer remembers where each page starts, so a preview may ask for any
// page again, in any order, and gets the same page.
//
// Threads: UI thread only. The store must not change while a printer lays it
// out (printing is disabled while a search runs).
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "results/results_store.h"

class QPainter;
class QPrinter;

namespace trovelane::ui {

// The texts of the printed page.
QString PrintHeaderText(const QString& searchText);
QString PrintFooterText();

// One URL as printed: one line, or two when it is wider than `width`
// (`textWidth` measures a line).
std::vector<QString> SplitPrintedUrl(const QString& url, int width,
                                     const std::function<int(const QString&)>& textWidth);

class CResultsPrinter {
 public:
  explicit CResultsPrinter(const ResultsStore& store);

  // Prints the printer's page range (all pages when it names none), setting
  // landscape first. Connect QPrintPreviewDialog::paintRequested to this.
  void Print(QPrinter* printer);

  // Draws page `page` (from 0) of the last layout on `painter` (begun on
  // the printer that Print laid out for); false when there is no such page.
  bool PrintPage(QPainter& painter, int page);

  // After a layout: the number of pages, the first record of each page, and
  // the highest record index printed so far (-1 before any).
  int pageCount() const { return static_cast<int>(pageStarts_.size()) - 1; }
  const std::vector<int>& pageStarts() const { return pageStarts_; }
  int highestPrinted() const { return highestPrinted_; }

  // Lays out every page for a page of `linesPerPage` body lines and
  // `width` pixels: the first record of each page, ending with the count.
  void Paginate(int linesPerPage, int width, const std::function<int(const QString&)>& textWidth);

 private:
  const ResultsStore& store_;
  std::vector<int> pageStarts_;  // pageStarts_[p] = first record of page p; last = count
  int highestPrinted_ = -1;
  int linesPerPage_ = 0;
  int width_ = 0;
  std::function<int(const QString&)> textWidth_;
  int lineHeight_ = 0;
};

}  // namespace trovelane::ui
