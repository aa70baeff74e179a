/* A library with every Marovex export but GetResponse, for the console's binding tests. */
#include "api/Marovex.h"

#define UNUSED(x) (void)(x)

MAROVEX_API int MAROVEX_CALL Init(char* out, int* pLen) {
  UNUSED(out);
  UNUSED(pLen);
  return MAROVEX_OK;
}

MAROVEX_API int MAROVEX_CALL Uninit(void) { return MAROVEX_OK; }

#define OPERATION(name)                                                                   \
  MAROVEX_API int MAROVEX_CALL name(int lane, const char* input, char* out, int* pLen) { \
    UNUSED(lane);                                                                         \
    UNUSED(input);                                                                        \
    UNUSED(out);                                                                          \
    UNUSED(pLen);                                                                         \
    return MAROVEX_OK;                                                                    \
  }

OPERATION(ReaderRead)
OPERATION(ReaderWrite)
OPERATION(RSURead)
OPERATION(RSUWrite)
OPERATION(ETCStatusQuery)
OPERATION(SendNonCashPay)
OPERATION(StopNonCashPay)
OPERATION(ListUpLoad)
OPERATION(BlackListQuery)
OPERATION(ListQuery)
OPERATION(QueryTransDetail)
