/*
 * lane_call: a lane application in miniature. It loads the Marovex library at run time, binds
 * its exports by name and runs Init, a card read, a call whose output does not fit its buffer
 * (completed with GetResponse) and Uninit, against the lanes of EtcConfig/Marovex.ini below the
 * current directory.
 *
 * Usage: lane_call [LIBRARY [LANE]]   (default: the library found by the loader, lane 1)
 * Exit status: 0 when every step gave the expected result, 1 otherwise.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <Marovex.h>

#if defined(_WIN32)
#include <windows.h>
typedef HMODULE LibraryHandle;
#define MAROVEX_FILE_NAME "Marovex.dll"
static LibraryHandle openLibrary(const char* path) { return LoadLibraryA(path); }
/* Through void*, so that no cast between unrelated function types is needed. */
static void* findSymbol(LibraryHandle lib, const char* name) {
  return (void*)GetProcAddress(lib, name);
}
static void closeLibrary(LibraryHandle lib) { FreeLibrary(lib); }
#else
#include <dlfcn.h>
typedef void* LibraryHandle;
#define MAROVEX_FILE_NAME "libMarovex.so.1" /* the SONAME: no development package needed */
static LibraryHandle openLibrary(const char* path) { return dlopen(path, RTLD_NOW); }
static void* findSymbol(LibraryHandle lib, const char* name) { return dlsym(lib, name); }
static void closeLibrary(LibraryHandle lib) { dlclose(lib); }
#endif

/* A build may name the installed library's full path (the CMake example does). */
#ifndef MAROVEX_LIBRARY
#define MAROVEX_LIBRARY MAROVEX_FILE_NAME
#endif

enum {
  kOutputCapacity = 4096, /* fits every ordinary output */
  kSmallCapacity = 16     /* too small for the status document, to show the GetResponse path */
};

struct Api {
  MarovexInitFn init;
  MarovexUninitFn uninit;
  MarovexGetResponseFn getResponse;
  MarovexOperationFn readerRead;
  MarovexOperationFn etcStatusQuery;
};

static int bindExports(LibraryHandle lib, struct Api* api) {
  void* found[5];
  static const char* const names[5] = {"Init", "Uninit", "GetResponse", "ReaderRead",
                                       "ETCStatusQuery"};
  int i;
  for (i = 0; i < 5; ++i) {
    found[i] = findSymbol(lib, names[i]);
    if (found[i] == NULL) {
      fprintf(stderr, "lane_call: the library has no export named %s\n", names[i]);
      return 0;
    }
  }
  api->init = (MarovexInitFn)found[0];
  api->uninit = (MarovexUninitFn)found[1];
  api->getResponse = (MarovexGetResponseFn)found[2];
  api->readerRead = (MarovexOperationFn)found[3];
  api->etcStatusQuery = (MarovexOperationFn)found[4];
  return 1;
}

static void show(const char* call, int result, const char* out) {
  printf("%s: result %d\n%s%s", call, result, out, (out[0] != '\0') ? "\n" : "");
}

/* Calls an operation with a buffer of `capacity` bytes. On MAROVEX_STASHED the output is fetched
   with GetResponse on this thread, into a buffer of the size the call asked for. */
static int callOperation(const struct Api* api, MarovexOperationFn op, const char* name, int lane,
                         const char* request, int capacity) {
  char* out = malloc((size_t)capacity);
  int len = capacity;
  int result;
  if (out == NULL) return -1;
  /* out is left untouched on 999 and 1000: start from an empty text. */
  out[0] = '\0';
  result = op(lane, request, out, &len);
  if (result == MAROVEX_STASHED && len > capacity) {
    int code = 0;
    char* large = malloc((size_t)len);
    if (large == NULL) {
      free(out);
      return -1;
    }
    printf("%s: result 5 with a %d-byte buffer; the output needs %d bytes\n", name, capacity,
           len);
    result = api->getResponse(&code, large, &len);
    show("GetResponse", result, large);
    printf("GetResponse: the %s result is %d\n", name, code);
    free(large);
    free(out);
    return result == MAROVEX_OK ? code : -1;
  }
  /* A 5 with *pLen unchanged is the lane server's own "ErrorCode" 5: out holds its answer. */
  show(name, result, out);
  free(out);
  return result;
}

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : MAROVEX_LIBRARY;
  const int lane = argc > 2 ? atoi(argv[2]) : 1;
  char out[kOutputCapacity];
  int len = kOutputCapacity;
  struct Api api;
  int ok = 1;
  int result;
  LibraryHandle lib = openLibrary(path);
  if (lib == NULL) {
    fprintf(stderr, "lane_call: cannot load %s\n", path);
    return 1;
  }
  if (!bindExports(lib, &api)) {
    closeLibrary(lib);
    return 1;
  }

  out[0] = '\0';
  result = api.init(out, &len);
  show("Init", result, out);
  ok = ok && result == MAROVEX_OK;

  if (ok) {
    result = callOperation(&api, api.readerRead, "ReaderRead", lane, "{\"TimeOut\":\"3000\"}",
                           kOutputCapacity);
    ok = ok && result == MAROVEX_OK;
    result = callOperation(&api, api.etcStatusQuery, "ETCStatusQuery", lane, "{}", kSmallCapacity);
    ok = ok && result == MAROVEX_OK;
  }

  result = api.uninit();
  printf("Uninit: result %d\n", result);
  closeLibrary(lib);
  printf("lane_call: %s\n", ok ? "all steps succeeded" : "FAILED");
  return ok ? 0 : 1;
}
