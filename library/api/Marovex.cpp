// The fourteen exported functions: each hands its arguments to the shared body in CallBoundary.
#include "api/Marovex.h"

#include "api/CallBoundary.h"
#include "api/Static.h"
#include "common/Compiler.h"

namespace {

int runOperation(const char* name, boundary::OperationMethod method, int lane, const char* input,
                 char* out, int* pLen) {
  return boundary::operation(g.manager(), name, method, lane, input, out, pLen);
}

}  // namespace

MV_ENTRY_POINT int MAROVEX_CALL Init(char* out, int* pLen) {
  return boundary::init(g.manager(), out, pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL Uninit(void) { return boundary::uninit(g.manager()); }

MV_ENTRY_POINT int MAROVEX_CALL GetResponse(int* code, char* out, int* pLen) {
  return boundary::getResponse(code, out, pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL ReaderRead(int lane, const char* input, char* out, int* pLen) {
  return runOperation("ReaderRead", &AMvLaneClientOper::ReaderRead, lane, input, out, pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL ReaderWrite(int lane, const char* input, char* out, int* pLen) {
  return runOperation("ReaderWrite", &AMvLaneClientOper::ReaderWrite, lane, input, out, pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL RSURead(int lane, const char* input, char* out, int* pLen) {
  return runOperation("RSURead", &AMvLaneClientOper::RSURead, lane, input, out, pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL RSUWrite(int lane, const char* input, char* out, int* pLen) {
  return runOperation("RSUWrite", &AMvLaneClientOper::RSUWrite, lane, input, out, pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL ETCStatusQuery(int lane, const char* input, char* out,
                                              int* pLen) {
  return runOperation("ETCStatusQuery", &AMvLaneClientOper::ETCStatusQuery, lane, input, out,
                      pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL SendNonCashPay(int lane, const char* input, char* out, int* pLen) {
  return runOperation("SendNonCashPay", &AMvLaneClientOper::SendNonCashPay, lane, input, out,
                      pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL StopNonCashPay(int lane, const char* input, char* out, int* pLen) {
  return runOperation("StopNonCashPay", &AMvLaneClientOper::StopNonCashPay, lane, input, out,
                      pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL ListUpLoad(int lane, const char* input, char* out, int* pLen) {
  return runOperation("ListUpLoad", &AMvLaneClientOper::ListUpLoad, lane, input, out, pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL BlackListQuery(int lane, const char* input, char* out, int* pLen) {
  return runOperation("BlackListQuery", &AMvLaneClientOper::BlackListQuery, lane, input, out,
                      pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL ListQuery(int lane, const char* input, char* out, int* pLen) {
  return runOperation("ListQuery", &AMvLaneClientOper::ListQuery, lane, input, out, pLen);
}

MV_ENTRY_POINT int MAROVEX_CALL QueryTransDetail(int lane, const char* input, char* out, int* pLen) {
  return runOperation("QueryTransDetail", &AMvLaneClientOper::QueryTransDetail, lane, input, out,
                      pLen);
}
