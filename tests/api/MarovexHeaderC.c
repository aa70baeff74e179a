/* Compiled as C: the public header must stay usable from C programs. */
#include "api/Marovex.h"

int marovexCallThroughC(MarovexOperationFn operation, int lane, const char* input, char* out,
                        int* pLen) {
  return operation(lane, input, out, pLen);
}
