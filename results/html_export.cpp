#include "results/html_export.h"

#include <initializer_list>

#include "platform/atomic_file.h"
#include "platform/browser_launch.h"
#include "results/message_text.h"

namespace trovelane {
namespace {

// The four page templates. "%%" stands for "%" and "%s" for the next value.
// Lines are joined by "\n", which the page writes as CR LF.

// One value: the search text, shown in the page title.
constexpr std::string_view kHeaderTemplate =
    "<HTML>\n"
    "<HEAD>\n"
    "<META NAME=\"GENERATOR\" Content=\"trovelane 2.5\">\n"
    "<TITLE>trovelane Search Results for %s</TITLE>\n"
    "</HEAD>\n"
    "<BODY bgColor=#191970>\n"
    "\n"
    "<TABLE width = \"100%%\">\n"
    "\t<TR>\n"
    "\t\t<TD align=left>\n"
    "\t\t\t<FONT face=\"verdana\" size = 6 color = #ffffff>\n"
    "\t\t\t\t<strong>t r o<FONT color=#ff8c00> v e l a n e</font></strong>\n"
    "\t\t\t</font>\n"
    "\t\t</TD>\n"
    "\t\t<TD align=right>\n"
    "\t\t\t<FONT face=\"verdana\" size = 6 color = #ffffff>\n"
    "\t\t\t\t<strong>t|<FONT color=#ff8c00>v </font></strong>\n"
    "\t\t\t</font>\n"
    "\t\t</TD>\n"
    "\t</TR>\n"
    "</TABLE>\n"
    "\n"
    "<FONT face = \"verdana\" size = 2 color = #ffffff>\n"
    "The fast,easy and accurate search tool!\n"
    "</FONT>\n"
    "<br>\n"
    "<br>\n"
    "\n"
    "<hr color = #b0c4de >\n"
    "<br>";

// No values.
constexpr std::string_view kTableHeadTemplate =
    "<TABLE width = \"100%%\">\n"
    "\t<tr>\n"
    "\t\t<td>\n"
    "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>\n"
    "\t\t\t<strong>Rel</strong>\n"
    "\t\t\t</FONT>\n"
    "\t\t</td>\n"
    "\t\t<td>\n"
    "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>\n"
    "\t\t\t<strong>Result</strong>\n"
    "\t\t\t</FONT>\n"
    "\t\t</td>\n"
    "\t\t<td>\n"
    "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>\n"
    "\t\t\t<strong>Engine</strong>\n"
    "\t\t\t</FONT>\n"
    "\t\t</td>\n"
    "\t</tr>\n"
    "\t<tr>\n"
    "\t\t<td>\n"
    "\t\t\t<br>\n"
    "\t\t</td>\n"
    "\t\t<td>\n"
    "\t\t\t<br>\n"
    "\t\t</td>\n"
    "\t\t<td>\n"
    "\t\t\t<br>\n"
    "\t\t</td>\n"
    "\t</tr>";

// Four values: relevance text, URL, result text, engine name.
constexpr std::string_view kRowTemplate =
    "<TR>\n"
    "\t\t<TD>\n"
    "\t\t\t<FONT face = \"verdana\" color = #ffff00 size = 2>\n"
    "\t\t\t<strong>%s</strong>\n"
    "\t\t\t</FONT>\n"
    "\t\t</TD>\t\t\n"
    "\t\t<TD>\n"
    "\t\t\t<A href=\"%s\">\n"
    "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>\n"
    "\t\t\t<strong>%s</strong>\n"
    "\t\t\t</FONT>\n"
    "\t\t\t</A>\n"
    "\t\t</TD>\t\t\n"
    "\t\t<TD>\n"
    "\t\t\t<FONT face = \"verdana\" color = #ffffff size = 2>\n"
    "\t\t\t%s\n"
    "\t\t\t</FONT>\n"
    "\t\t</TD>\n"
    "\t</TR>\t";

// Written as it stands, without formatting; %s marks the web address.
constexpr std::string_view kFooterTemplate =
    "</TABLE>\n"
    "<br>\n"
    "<br>\n"
    "\n"
    "<hr color = #b0c4de >\n"
    "<br>\n"
    "<center>\n"
    "<font face = \"verdana\" size = 3 color = #ffffff>\n"
    "<strong>Download your free copy of \n"
    "</font>\n"
    "<font face = \"verdana\" size = 3 color = #ffffff>\n"
    "<strong>t r o</strong>\n"
    "</font>\n"
    "<font face = \"verdana\" size = 3 color = #ff8c00>\n"
    "<strong>v e l a n e</strong>\n"
    "</font>\n"
    "<font face = \"verdana\" size = 3 color = #ffffff>\n"
    "<strong>from</strong>\n"
    "</font>\n"
    "<a href = \"%s\">\n"
    "<font face = \"verdana\" size = 3 color = #ffffff>\n"
    "<strong>%s</strong>\n"
    "</font>\n"
    "</A>\n"
    "</font>\n"
    "<center>\n"
    "</BODY>\n"
    "</HTML>";

constexpr const char* kExportFailedMessage = "Error while opening file %s";

// The row of a result whose URL is not a web link (javascript:, data:, a
// local file...): the same row with the URL as the title of a plain span, so
// that the page keeps it as text but nothing on the page can follow it.
const std::string& UnlinkedRowTemplate() {
  static const std::string row = [] {
    std::string t(kRowTemplate);
    auto replace = [&t](std::string_view from, std::string_view to) {
      t.replace(t.find(from), from.size(), to);
    };
    replace("<A href=\"%s\">", "<SPAN title=\"%s\">");
    replace("</A>", "</SPAN>");
    return t;
  }();
  return row;
}

// Fills a template printf-style, writing each line feed as CR LF. The values
// are inserted as given: the caller escapes them.
void AppendFormatted(std::string& out, std::string_view tmpl,
                     std::initializer_list<std::string_view> values) {
  auto next = values.begin();
  for (size_t i = 0; i < tmpl.size(); ++i) {
    char c = tmpl[i];
    if (c == '%' && i + 1 < tmpl.size()) {
      if (tmpl[i + 1] == '%') {
        out.push_back('%');
        ++i;
        continue;
      }
      if (tmpl[i + 1] == 's') {
        if (next != values.end()) {
          for (char v : *next++) {
            if (v == '\n') out.push_back('\r');
            out.push_back(v);
          }
        }
        ++i;
        continue;
      }
    }
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string RelevanceText(int16_t relevance) {
  return relevance > 0 ? std::to_string(relevance) + "%" : "n/a";
}

std::string RenderResultsHtml(const ResultsStore& store) {
  std::string page;
  AppendFormatted(page, kHeaderTemplate, {EscapeHtml(store.searchText())});
  page += "\r\n";
  AppendFormatted(page, kTableHeadTemplate, {});
  page += "\r\n";
  for (const ResultRecord& r : store.records()) {
    // Only http, https and ftp URLs become links; a crafted document must not
    // put a script or a local file behind a result of the exported page.
    AppendFormatted(page, IsLaunchableUrl(r.url()) ? kRowTemplate : UnlinkedRowTemplate(),
                    {RelevanceText(r.relevance), EscapeHtml(r.url()), EscapeHtml(r.text()),
                     EscapeHtml(r.engineName())});
    page += "\r\n";
  }
  AppendFormatted(page, kFooterTemplate, {kProductWebAddress, kProductWebAddress});
  return page;
}

Status ExportResultsHtml(const ResultsStore& store, const std::string& path) {
  Status saved = WriteOutputFile(path, RenderResultsHtml(store));
  if (!saved.ok()) return Status::IoError(MessageWith(kExportFailedMessage, path), saved.message());
  return Status::Ok();
}

}  // namespace trovelane
