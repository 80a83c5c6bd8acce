#include "ui/results_printer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QPrintPreviewDialog>
#include <QTimer>
#include <QWidget>
#include <QPainter>
#include <QPrinter>
#include <QPaintEngine>
#include <QTextItem>
#include <map>
#include <cstdio>

#include "platform/command_output.h"
#include "ui/print_commands.h"
#include "tests/support/scratch_folder.h"
#include "tests/ui/qt_app.h"

namespace trovelane::ui {
namespace {

// A line is as wide as it has characters.
int CharWidth(const QString& text) { return static_cast<int>(text.size()); }

std::string Url(int i) { return "http://host.example/r" + std::to_string(i); }

std::string PdfText(const std::string& pdf) {
  return CommandOutput({"pdftotext", "-layout", pdf, "-"}, 60000).value_or("");
}

int PdfPages(const std::string& pdf) {
  std::string info = CommandOutput({"pdfinfo", pdf}, 60000).value_or("");
  auto at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

TEST(PrintLayoutTest, WideUrlTakesTwoLinesWithTheEndOnTheSecond) {
  EXPECT_EQ(SplitPrintedUrl("http://a/b", 10, CharWidth), std::vector<QString>{"http://a/b"});
  auto lines = SplitPrintedUrl("http://example.org/0123456789", 12, CharWidth);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "http://ex...");
  EXPECT_EQ(lines[1], "...123456789");
  // Far too long for two lines: the middle is left out, never the end.
  lines = SplitPrintedUrl(QString(100, 'x') + "END", 10, CharWidth);
  EXPECT_EQ(lines[0], "xxxxxxx...");
  EXPECT_EQ(lines[1], "...xxxxEND");
  // Narrower than the dots themselves: still two lines, the URL moves on.
  EXPECT_EQ(SplitPrintedUrl("http://x", 2, CharWidth).size(), 2u);
}

TEST(PrintLayoutTest, PagesHoldWholeRecordsAndAreRemembered) {
  ResultsStore store;
  // Records 0-2 take one line each, 3 two lines, 4 one line.
  for (int i = 0; i < 3; ++i) store.AppendResult(Url(i), "t", "e");
  store.AppendResult("http://host.example/" + std::string(40, 'l'), "t", "e");
  store.AppendResult(Url(4), "t", "e");
  CResultsPrinter printer(store);
  printer.Paginate(4, 30, CharWidth);
  // Page 0 has three lines used; record 3 needs two, so it starts page 1.
  EXPECT_EQ(printer.pageStarts(), (std::vector<int>{0, 3, 5}));
  EXPECT_EQ(printer.pageCount(), 2);

  ResultsStore empty;
  CResultsPrinter emptyPrinter(empty);
  emptyPrinter.Paginate(4, 30, CharWidth);
  EXPECT_EQ(emptyPrinter.pageCount(), 1);  // header and footer only
}

// A paint device that keeps each text drawn on it with its font.
class TextRecorder : public QPaintDevice {
 public:
  struct Drawn {
    QString text;
    QFont font;
  };
  std::vector<Drawn> drawn;

  QPaintEngine* paintEngine() const override { return &engine_; }

 protected:
  int metric(PaintDeviceMetric metric) const override {
    switch (metric) {
      case PdmWidth: return 2000;
      case PdmHeight: return 1000;
      case PdmWidthMM: return 200;
      case PdmHeightMM: return 100;
      case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 254;
      case PdmDepth: return 32;
      case PdmDevicePixelRatio: return 1;
      case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
      default: return 0;
    }
  }

 private:
  class Engine : public QPaintEngine {
   public:
    explicit Engine(TextRecorder& owner) : owner_(owner) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF&, const QTextItem& item) override {
      owner_.drawn.push_back({item.text(), item.font()});
    }
    Type type() const override { return User; }

   private:
    TextRecorder& owner_;
  };
  mutable Engine engine_{*this};
};

TEST(PrintLayoutTest, NewRecordsPrintBoldAndDeadOnesStruckThrough) {
  ResultsStore store;
  for (int i = 0; i < 4; ++i) store.AppendResult(Url(i), "t", "e");
  store.record(0).EnsureWatch().state = WatchState::kNew;
  store.record(1).EnsureWatch().state = WatchState::kDead;
  store.record(2).EnsureWatch().state = WatchState::kKept;
  CResultsPrinter printer(store);
  printer.Paginate(10, 1000, CharWidth);
  TextRecorder device;
  {
    QPainter painter(&device);
    ASSERT_TRUE(printer.PrintPage(painter, 0));
  }
  std::map<QString, QFont> fonts;
  for (const auto& d : device.drawn) fonts[d.text] = d.font;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(fonts.count(QString::fromStdString(Url(i)))) << i;
  auto font = [&](int i) { return fonts[QString::fromStdString(Url(i))]; };
  EXPECT_TRUE(font(0).bold());
  EXPECT_FALSE(font(0).strikeOut());
  EXPECT_TRUE(font(1).strikeOut());
  EXPECT_FALSE(font(1).bold());
  for (int i : {2, 3}) EXPECT_FALSE(font(i).bold() || font(i).strikeOut()) << i;
}

TEST(PrintToPdfTest, PrintsHeaderFooterAndEveryUrlOnLandscapePages) {
  trovelane::testing::ScratchFolder folder;
  ResultsStore store;
  store.SetSearchText("cheese & wine");
  const int kRecords = 120;
  for (int i = 0; i < kRecords; ++i) store.AppendResult(Url(i), "t", "e");
  std::string longUrl = "http://long.example/" + std::string(400, 'a') + "/the-end.html";
  store.AppendResult(longUrl, "t", "e");

  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  std::string pdf = folder.File("results.pdf");
  printer.setOutputFileName(QString::fromStdString(pdf));
  CResultsPrinter results(store);
  results.Print(&printer);
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
  EXPECT_EQ(results.highestPrinted(), kRecords);

  int pages = PdfPages(pdf);
  ASSERT_GT(pages, 1);
  EXPECT_EQ(pages, results.pageCount());
  std::string text = PdfText(pdf);
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return static_cast<int>(n);
  };
  EXPECT_EQ(count("t r o v e l a n e 2.52 Search Results for cheese & wine"), pages);
  EXPECT_EQ(count("Download your FREE copy of t r o v e l a n e from http://www.trovelane.example."),
            pages);
  for (int i = 0; i < kRecords; ++i) EXPECT_EQ(count(Url(i) + "\n"), 1) << i;
  EXPECT_EQ(count("http://long.example/aaa"), 1);
  EXPECT_EQ(count("...\n"), 1);
  EXPECT_EQ(count("aa/the-end.html"), 1);
}

// The preview asks for pages again: a second print of the same store gives
// the same pages.
TEST(PrintToPdfTest, PrintingAgainGivesTheSamePages) {
  trovelane::testing::ScratchFolder folder;
  ResultsStore store;
  for (int i = 0; i < 200; ++i) store.AppendResult(Url(i), "t", "e");
  CResultsPrinter results(store);
  std::vector<std::string> texts;
  for (int run = 0; run < 2; ++run) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    std::string pdf = folder.File("run" + std::to_string(run) + ".pdf");
    printer.setOutputFileName(QString::fromStdString(pdf));
    results.Print(&printer);
    texts.push_back(PdfText(pdf));
  }
  EXPECT_EQ(texts[0], texts[1]);

  // A page range prints those pages only.
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  std::string pdf = folder.File("range.pdf");
  printer.setOutputFileName(QString::fromStdString(pdf));
  printer.setPrintRange(QPrinter::PageRange);
  printer.setFromTo(2, 2);
  results.Print(&printer);
  EXPECT_EQ(PdfPages(pdf), 1);
  std::string page2 = PdfText(pdf);
  int second = results.pageStarts()[1];
  EXPECT_NE(page2.find(Url(second) + "\n"), std::string::npos);
  EXPECT_EQ(page2.find(Url(0) + "\n"), std::string::npos);
}

TEST(PrintCommandsTest, PreviewOpensAndPrintingRestoresTheSearchBar) {
  trovelane::testing::ScratchFolder folder;
  QWidget window;
  QWidget* searchBar = new QWidget(&window);
  window.show();
  CQuivmarkDoc document;
  document.OnNewDocument();
  document.results().SetSearchText("river");
  for (int i = 0; i < 5; ++i) document.results().AppendResult(Url(i), "t", "e");

  PrintCommands commands(&window, document, searchBar);
  QAction print, preview, setup;
  commands.Connect(&print, &preview, &setup);

  // The preview draws the pages when it opens; close it once it has.
  bool previewShown = false;
  QTimer::singleShot(0, [&] {
    if (auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget())) {
      previewShown = true;
      dialog->reject();
    }
  });
  preview.trigger();
  EXPECT_TRUE(previewShown);

  bool barHiddenWhilePrinting = false;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  std::string pdf = folder.File("doc.pdf");
  printer.setOutputFileName(QString::fromStdString(pdf));
  struct HideSpy : QObject {
    bool* hidden;
    explicit HideSpy(bool* h) : hidden(h) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Hide) *hidden = true;
      return false;
    }
  } spy(&barHiddenWhilePrinting);
  searchBar->installEventFilter(&spy);
  commands.PrintTo(&printer);
  EXPECT_TRUE(barHiddenWhilePrinting);
  EXPECT_TRUE(searchBar->isVisible());
  EXPECT_NE(PdfText(pdf).find("Search Results for river"), std::string::npos);
}

}  // namespace
}  // namespace trovelane::ui
