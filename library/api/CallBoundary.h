// The work behind the exported functions. Each function runs inside one exception guard, so
// nothing thrown behind the boundary reaches the caller: it becomes result::kException.
#pragma once

#include <string>

#include "session/AMvLaneClientOper.h"

class AMvLaneClientManage;

namespace boundary {

// A lane operation of the session, as the exported function of the same name calls it.
using OperationMethod = int (AMvLaneClientOper::*)(const char* input, std::string& output);

// The calls, against the given lane manager. Any thread.
int init(AMvLaneClientManage& manager, char* out, int* pLen);
int uninit(AMvLaneClientManage& manager);
int getResponse(int* code, char* out, int* pLen);
// `name` is the operation's name as its log lines show it.
int operation(AMvLaneClientManage& manager, const char* name, OperationMethod method, int lane,
              const char* input, char* out, int* pLen);

}  // namespace boundary
