/* The plug-in interface compiles as C, and its context block is nine
 * pointer-sized words in the documented order. */
#include <stddef.h>

#include "plugins/plugin_api.h"

_Static_assert(sizeof(HostContext) == 9 * sizeof(void*), "nine words");
_Static_assert(offsetof(HostContext, checkRelevance) == 1 * sizeof(void*), "word 1");
_Static_assert(offsetof(HostContext, addResult) == 2 * sizeof(void*), "word 2");
_Static_assert(offsetof(HostContext, connect) == 3 * sizeof(void*), "word 3");
_Static_assert(offsetof(HostContext, getValidationMode) == 8 * sizeof(void*), "word 8");
_Static_assert(sizeof(BooleanOperators) == 4 * sizeof(void*), "four strings");

static int32_t Mode(HostContext* context) { return context->host ? QM_VALIDATION_VAL : 0; }

int main(void) {
  HostContext context = {0};
  context.getValidationMode = Mode;
  QMGetPluginNameFunction name = 0;
  (void)name;
  return context.getValidationMode(&context) == 0 ? 0 : 1;
}
