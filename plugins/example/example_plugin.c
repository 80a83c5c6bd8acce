/* example_plugin: a whole site plug-in in plain C, built against the
 * installed interface header alone:
 *
 *   cc -shared -fPIC -fvisibility=hidden -o example_plugin.so example_plugin.c \
 *       $(pkg-config --cflags trovelane-plugin)
 *
 * It searches a directory site whose result page
 * "ROOT/search?p=QUERY&o=i&h=s&b=FIRST" lists up to twenty results between
 * "<ul>" and "</ul>" (the sample engines serve one such site under
 * /site/plgpages/). ROOT is the first line of "plugins/example_plugin.site"
 * in the install folder, which is the plug-in's current directory during a
 * run. Each iteration reads one page; the host bounds their number. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <plugin_api.h>

#define RESULTS_PER_PAGE 20
#define MAX_PAGE_BYTES (8 * 1024 * 1024)

static HostContext* host;
static char root[512];
static int firstResult; /* 1-based position of the next page's first result */

/* Only constant data: the host may ask at any time, on any thread. */
QM_PLUGIN_EXPORT int32_t QMGetPluginName(char* buffer, int32_t bufferSize) {
  static const char name[] = "Example Directory";
  if ((int32_t)(sizeof name - 1) >= bufferSize) return (int32_t)(sizeof name - 1);
  memcpy(buffer, name, sizeof name);
  return 0;
}

QM_PLUGIN_EXPORT void QMPluginInitialize(HostContext* context) {
  FILE* site = fopen("plugins/example_plugin.site", "r");
  host = context;
  firstResult = 1;
  strcpy(root, "http://example.invalid");
  if (site) {
    if (fgets(root, sizeof root, site)) root[strcspn(root, "\r\n")] = '\0';
    fclose(site);
  }
}

/* The site's own spellings; the words of the query come as typed. */
QM_PLUGIN_EXPORT BooleanOperators* QMGetBooleanOperators(BooleanOperators* operators) {
  operators->andOperator = "%2B";
  operators->orOperator = "+";
  operators->notOperator = "%20-";
  operators->exactOperator = "%22";
  return operators;
}

/* The body of the answer to the last Connect, NUL-terminated; null when
 * nothing came. The caller frees it. */
static char* ReadPage(void) {
  size_t size = 0, capacity = 64 * 1024;
  char* page = malloc(capacity + 1);
  int32_t n;
  while (page && (n = host->read(host, page + size, (int32_t)(capacity - size))) > 0) {
    size += (size_t)n;
    if (size == capacity) {
      char* larger = capacity < MAX_PAGE_BYTES ? realloc(page, capacity * 2 + 1) : NULL;
      if (!larger) break; /* keep what fits */
      page = larger;
      capacity *= 2;
    }
  }
  host->close(host);
  if (page) page[size] = '\0';
  if (page && size == 0) {
    free(page);
    page = NULL;
  }
  return page;
}

static const char* FindAnchor(const char* text) {
  for (; *text; ++text) {
    if (text[0] == '<' && (text[1] == 'a' || text[1] == 'A')) return text;
  }
  return NULL;
}

/* Offers every linked anchor of the section. Validation is the plug-in's
 * job: in the validating modes a result is checked before it is offered.
 * Returns the number of links listed, or -1 when the host says to stop. */
static int OfferAnchors(const char* section) {
  const int32_t mode = host->getValidationMode(host);
  char url[QM_LINK_BUFFER_SIZE], title[QM_LINK_BUFFER_SIZE];
  const char* at = section;
  int listed = 0;
  for (;;) {
    int32_t next = host->findNextLink(host, at, url, title);
    int32_t relevance = 0, validated = 0;
    if (url[0] == '\0') {
      /* No link here: step over an anchor without one, or stop at the end. */
      const char* anchor = FindAnchor(at);
      if (!anchor) break;
      at = at + next > anchor ? at + next : anchor + 2;
      continue;
    }
    at += next;
    ++listed;
    if (mode != QM_VALIDATION_NONE) {
      if (!host->checkRelevance(host, url, mode == QM_VALIDATION_VAL_REL ? &relevance : NULL)) {
        continue;
      }
      validated = 1;
    }
    /* A link as the page wrote it; the host takes a relative one against
     * the page just read. */
    if (!host->addResult(host, url, title, "Example", validated, relevance)) return -1;
  }
  return listed;
}

QM_PLUGIN_EXPORT int32_t QMPerformSearchIteration(const char* query) {
  char* url;
  char* page;
  char* begin;
  char* end;
  int listed = 0;
  size_t length;
  if (!host) return 0;
  length = strlen(root) + strlen(query) + 64;
  url = malloc(length);
  if (!url) return 0;
  snprintf(url, length, "%s/search?p=%s&o=i&h=s&b=%d", root, query, firstResult);
  host->setStatus(host, "Example: reading a page");
  page = host->connect(host, url, 0, NULL, NULL, NULL, NULL) ? ReadPage() : NULL;
  free(url);
  if (!page) return 0;
  begin = strstr(page, "<ul>");
  end = begin ? strstr(begin, "</ul>") : NULL;
  if (end) {
    *end = '\0';
    listed = OfferAnchors(begin);
  }
  free(page);
  firstResult += RESULTS_PER_PAGE;
  return listed == RESULTS_PER_PAGE ? 1 : 0; /* a full page may have a next one */
}

QM_PLUGIN_EXPORT void QMPluginTerminate(void) { host = NULL; }
