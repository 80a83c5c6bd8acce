/* The C interface between trovelane and its site plug-ins.
 *
 * A site plug-in is a shared library that searches one web site by itself. It
 * exports the five functions below with C linkage under their plain names;
 * the host finds them with dlsym. Everything the plug-in needs from the
 * outside (HTTP, validation, the results list, the status line) it reaches
 * through the host services of its HostContext.
 *
 * Calling convention: the platform's C calling convention (the default of
 * the C compiler; no stdcall or other attribute), for the exports and for
 * the services alike. Every int is 32 bits wide, every word of HostContext
 * is pointer-sized.
 *
 * Exceptions and unwinding: nothing may unwind across this boundary. A
 * plug-in written in C++ catches everything inside each export; the host
 * catches everything inside each service and answers with its failure value
 * (0). longjmp across the boundary is forbidden as well.
 *
 * Threads: QMPluginInitialize, QMGetBooleanOperators, QMPerformSearchIteration
 * and QMPluginTerminate run on the search worker thread of the plug-in's
 * engine, one after the other; the services are called on that same thread.
 * QMGetPluginName may run on any thread at any time, also while a run is in
 * progress on another thread, so it reads nothing but constant data.
 * The host runs at most one search with one library at a time, so a plug-in
 * may keep its run state in file-scope variables.
 *
 * Files: the plug-in's current directory during a run is the program's
 * install folder, so relative names ("sdump<tid>.bin", "plugins/<name>.site")
 * resolve there. */
#ifndef TROVELANE_PLUGINS_PLUGIN_API_H_
#define TROVELANE_PLUGINS_PLUGIN_API_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The size of the caller's out-buffers of QMFindNextLinkService and of a
 * cookie sink given to QMConnectService: each must hold at least this many
 * bytes. The host writes at most this many, terminator included. */
#define QM_LINK_BUFFER_SIZE 1024

/* The validation modes GetValidationMode answers. */
#define QM_VALIDATION_NONE 0
#define QM_VALIDATION_VAL 1
#define QM_VALIDATION_VAL_REL 2

typedef struct HostContext HostContext;

/* The host services. Each takes the context block it was found in as its
 * first argument and returns a 32-bit int. Strings given to a service are
 * NUL-terminated, owned by the plug-in and only read during the call.
 * Once the search has been stopped every service fails at once (0) without
 * waiting for the network, so the plug-in reaches its return quickly. */

/* Fetches the page at url and tests it against the search expression. When
 * relevanceOut is not null the relevance in percent is stored there. Returns
 * nonzero when the page could be fetched and satisfies the expression. */
typedef int32_t (*QMCheckRelevanceService)(HostContext* context, const char* url,
                                           int32_t* relevanceOut);

/* Offers one result: url, its text, the engine name shown with it, the
 * validation state (1 when CheckRelevance was asked) and the relevance.
 * url is absolute (http:// or https://); a relative one is taken against the
 * scheme, host and port of the page last requested with Connect, and is
 * dropped before any was; an empty one is dropped. The host validates
 * nothing itself: a plug-in asks CheckRelevance when GetValidationMode says
 * so. Returns 1 when it was taken or dropped (a duplicate, no usable url),
 * 0 when the result limit is reached or the search was stopped: the plug-in
 * must then stop. */
typedef int32_t (*QMAddResultService)(HostContext* context, const char* url, const char* text,
                                      const char* engineName, int32_t validated,
                                      int32_t relevance);

/* Sends one request for url on the worker's connection (with the program's
 * proxy settings). isPost picks POST with body; referer, body and
 * cookieToSend may be null (none). cookieSink, when not null, is a buffer of
 * QM_LINK_BUFFER_SIZE bytes that receives the answer's cookies ("a=1;b=2",
 * cut to fit). Returns nonzero when the request went out and its answer's
 * head was read. A malformed url gives 0. */
typedef int32_t (*QMConnectService)(HostContext* context, const char* url, int32_t isPost,
                                    const char* referer, const char* body,
                                    const char* cookieToSend, char* cookieSink);

/* Reads up to size bytes of the answer's body into buffer (not terminated).
 * Returns the count; less than 1 at the end of the body. */
typedef int32_t (*QMReadService)(HostContext* context, char* buffer, int32_t size);

/* Ends the request. Returns 1. */
typedef int32_t (*QMCloseService)(HostContext* context);

/* Shows text in the engine's status line. Returns 1 (0 once stopped). */
typedef int32_t (*QMSetStatusService)(HostContext* context, const char* text);

/* Finds the next anchor ("<A", any case) in the NUL-terminated html and
 * reads it: urlOut gets its href value, titleOut its text (the url when the
 * text is empty); each is a buffer of QM_LINK_BUFFER_SIZE bytes owned by the
 * plug-in. Returns the offset from html just behind the anchor, so that the
 * scan goes on there; 0 when html holds no further anchor. An anchor that
 * cannot be read (no href) returns its own offset and empty buffers. The
 * link is returned as written, not made absolute; an anchor whose href is
 * empty returns the offset behind it and empty buffers. The host never reads
 * past the terminator of html. */
typedef int32_t (*QMFindNextLinkService)(HostContext* context, const char* html, char* urlOut,
                                         char* titleOut);

/* The search's validation mode: QM_VALIDATION_NONE, _VAL or _VAL_REL. */
typedef int32_t (*QMGetValidationModeService)(HostContext* context);

/* Nine pointer-sized words, built, owned and freed by the host. Valid from
 * QMPluginInitialize until QMPluginTerminate returns; the plug-in keeps the
 * pointer for that long and never writes to the block. */
struct HostContext {
  void* host; /* word 0: the host's handle, opaque to the plug-in */
  QMCheckRelevanceService checkRelevance;
  QMAddResultService addResult;
  QMConnectService connect;
  QMReadService read;
  QMCloseService close;
  QMSetStatusService setStatus;
  QMFindNextLinkService findNextLink;
  QMGetValidationModeService getValidationMode;
};

/* The plug-in's spellings of the operators, filled by QMGetBooleanOperators.
 * The strings belong to the plug-in and stay valid while it is loaded. */
typedef struct BooleanOperators {
  const char* andOperator;
  const char* orOperator;
  const char* notOperator;
  const char* exactOperator; /* put on both sides of a quoted phrase */
} BooleanOperators;

/* The five exports. */

/* Copies the display name with its terminator into buffer and returns 0
 * when its length is below bufferSize; otherwise leaves the buffer alone and
 * returns the name's length (signed comparison). */
typedef int32_t (*QMGetPluginNameFunction)(char* buffer, int32_t bufferSize);
#define QM_GET_PLUGIN_NAME_EXPORT "QMGetPluginName"

/* Starts a run: keeps context, resets the run state. */
typedef void (*QMPluginInitializeFunction)(HostContext* context);
#define QM_PLUGIN_INITIALIZE_EXPORT "QMPluginInitialize"

/* Fills *operators and returns operators. */
typedef BooleanOperators* (*QMGetBooleanOperatorsFunction)(BooleanOperators* operators);
#define QM_GET_BOOLEAN_OPERATORS_EXPORT "QMGetBooleanOperators"

/* Requests and processes one result page for query (the words as typed,
 * not URL-encoded, joined with the plug-in's operators; owned by the host,
 * valid during the call). Returns 1 when the host is to call again, 0 when
 * the plug-in has finished. */
typedef int32_t (*QMPerformSearchIterationFunction)(const char* query);
#define QM_PERFORM_SEARCH_ITERATION_EXPORT "QMPerformSearchIteration"

/* Ends the run: releases the page, closes and deletes a spool file. Called
 * once per QMPluginInitialize; no other call follows until the next one. */
typedef void (*QMPluginTerminateFunction)(void);
#define QM_PLUGIN_TERMINATE_EXPORT "QMPluginTerminate"

/* What a plug-in puts before each of its exports. */
#if defined(__GNUC__)
#define QM_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define QM_PLUGIN_EXPORT
#endif

#ifdef __cplusplus
}
#endif

#endif /* TROVELANE_PLUGINS_PLUGIN_API_H_ */
