#include "ui/results_printer.h"

#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

#include "results/html_export.h"
#include "platform/version.h"
#include "ui/results_model.h"

namespace trovelane::ui {

namespace {

constexpr const char* kEllipsis = "...";
constexpr int kHeaderPointSize = 11;
constexpr int kBodyPointSize = 10;

QString UrlOf(const ResultRecord& record) {
  std::string_view url = record.url();
  return QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size()));
}

// The longest count n such that fits(n) holds, fits being monotone falling.
qsizetype LongestFitting(qsizetype most, const std::function<bool(qsizetype)>& fits) {
  qsizetype low = 0, high = most;
  while (low < high) {
    qsizetype middle = (low + high + 1) / 2;
    if (fits(middle)) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return low;
}

}  // namespace

QString PrintHeaderText(const QString& searchText) {
  return QStringLiteral("t r o v e l a n e " TROVELANE_VERSION " Search Results for %1")
      .arg(searchText);
}

QString PrintFooterText() {
  return QStringLiteral("Download your FREE copy of t r o v e l a n e from %1.")
      .arg(QString::fromUtf8(kProductWebAddress));
}

std::vector<QString> SplitPrintedUrl(const QString& url, int width,
                                     const std::function<int(const QString&)>& textWidth) {
  if (textWidth(url) <= width) return {url};
  const QString dots = QString::fromLatin1(kEllipsis);
  // The first line: as much of the start as fits before the "...", at least
  // one character so that the URL always moves on.
  qsizetype head = LongestFitting(url.size(), [&](qsizetype n) {
    return textWidth(url.left(n) + dots) <= width;
  });
  head = std::max<qsizetype>(head, 1);
  QString rest = url.mid(head);
  // The second line: "..." and as much of the end as fits.
  qsizetype tail = LongestFitting(rest.size(), [&](qsizetype n) {
    return textWidth(dots + rest.right(n)) <= width;
  });
  tail = std::max<qsizetype>(tail, std::min<qsizetype>(1, rest.size()));
  return {url.left(head) + dots, dots + rest.right(tail)};
}

CResultsPrinter::CResultsPrinter(const ResultsStore& store) : store_(store) {}

void CResultsPrinter::Paginate(int linesPerPage, int width,
                               const std::function<int(const QString&)>& textWidth) {
  linesPerPage_ = std::max(linesPerPage, 2);
  width_ = width;
  textWidth_ = textWidth;
  pageStarts_.assign(1, 0);
  const int32_t count = store_.count();
  int used = 0;
  for (int32_t i = 0; i < count; ++i) {
    int lines = static_cast<int>(SplitPrintedUrl(UrlOf(store_.record(i)), width_, textWidth_).size());
    if (used > 0 && used + lines > linesPerPage_) {
      pageStarts_.push_back(i);
      used = 0;
    }
    used += lines;
  }
  pageStarts_.push_back(count);
}

bool CResultsPrinter::PrintPage(QPainter& painter, int page) {
  if (page < 0 || page >= pageCount()) return false;
  const QRect area = painter.viewport();
  const int margin = lineHeight_ / 2;
  QFont headerFont(QStringLiteral("DejaVu Sans"), kHeaderPointSize, QFont::Bold);
  QFont bodyFont(QStringLiteral("DejaVu Sans"), kBodyPointSize);

  // Header with its rule.
  painter.setFont(headerFont);
  QFontMetrics headerMetrics(headerFont, painter.device());
  int y = area.top() + headerMetrics.ascent();
  QString searchText = QString::fromUtf8(store_.searchText().c_str());
  painter.drawText(area.left(), y,
                   headerMetrics.elidedText(PrintHeaderText(searchText), Qt::ElideRight, area.width()));
  y += headerMetrics.descent() + margin;
  painter.drawLine(area.left(), y, area.right(), y);
  y += margin;

  // Footer with its rule.
  int footerBase = area.bottom() - headerMetrics.descent();
  int footerRule = footerBase - headerMetrics.ascent() - margin;
  painter.drawLine(area.left(), footerRule, area.right(), footerRule);
  painter.drawText(area.left(), footerBase, PrintFooterText());

  // Body: this page's records, one URL (or two lines of one) a line.
  painter.setFont(bodyFont);
  y += QFontMetrics(bodyFont, painter.device()).ascent();
  for (int i = pageStarts_[page]; i < pageStarts_[page + 1]; ++i) {
    QFont recordFont = bodyFont;
    ApplyWatchStyle(recordFont, store_.record(i));
    painter.setFont(recordFont);
    for (const QString& line : SplitPrintedUrl(UrlOf(store_.record(i)), width_, textWidth_)) {
      painter.drawText(area.left(), y, line);
      y += lineHeight_;
    }
    highestPrinted_ = std::max(highestPrinted_, i);
  }
  return true;
}

void CResultsPrinter::Print(QPrinter* printer) {
  printer->setPageOrientation(QPageLayout::Landscape);
  QPainter painter;
  if (!painter.begin(printer)) return;
  QFont headerFont(QStringLiteral("DejaVu Sans"), kHeaderPointSize, QFont::Bold);
  QFont bodyFont(QStringLiteral("DejaVu Sans"), kBodyPointSize);
  QFontMetrics headerMetrics(headerFont, printer);
  QFontMetrics bodyMetrics(bodyFont, printer);
  lineHeight_ = bodyMetrics.lineSpacing();
  const QRect area = painter.viewport();
  const int margin = lineHeight_ / 2;
  // Header and footer each take a line of their font, a margin and the rule.
  int bodyHeight = area.height() - 2 * (headerMetrics.height() + 2 * margin);
  int linesPerPage = std::max(2, bodyHeight / std::max(1, lineHeight_));
  // New records print bold: when there are any, lines are measured in bold,
  // so that none runs past the page.
  QFont boldFont = bodyFont;
  boldFont.setBold(true);
  QFontMetrics boldMetrics(boldFont, printer);
  const auto records = store_.records();
  const bool anyBold = std::any_of(records.begin(), records.end(), [](const ResultRecord& r) {
    return r.watch() != nullptr && r.watch()->state == WatchState::kNew;
  });
  const QFontMetrics& measure = anyBold ? boldMetrics : bodyMetrics;
  Paginate(linesPerPage, area.width(),
           [&](const QString& text) { return measure.horizontalAdvance(text); });

  int first = 0, last = pageCount() - 1;
  if (printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0) {
    first = printer->fromPage() - 1;
    last = std::min(last, printer->toPage() - 1);
  }
  for (int page = first; page <= last; ++page) {
    if (page > first) printer->newPage();
    PrintPage(painter, page);
  }
  painter.end();
}

}  // namespace trovelane::ui
