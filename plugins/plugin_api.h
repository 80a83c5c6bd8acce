/* The C interface between trovelane and its site plug-ins. A plug-in is a
 * shared library in a "plugins" folder that exports these functions with C
 * linkage under their plain names. No exception crosses this boundary. */
#ifndef TROVELANE_PLUGINS_PLUGIN_API_H_
#define TROVELANE_PLUGINS_PLUGIN_API_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* QMGetPluginName(buffer, bufferSize): when the display name is shorter than
 * bufferSize, copies it with its terminator into the caller's buffer and
 * returns 0; otherwise leaves the buffer alone and returns the name's length. */
typedef int32_t (*QMGetPluginNameFunction)(char* buffer, int32_t bufferSize);
#define QM_GET_PLUGIN_NAME_EXPORT "QMGetPluginName"

#ifdef __cplusplus
}
#endif

#endif /* TROVELANE_PLUGINS_PLUGIN_API_H_ */
