/* The unprotected case the planting test compares with: a program that
   imports pdh.dll the ordinary way and restricts nothing, so that a pdh.dll
   beside it is loaded by the system's loader. */
#include <windows.h>
#include <pdh.h>

int main(int argc, char** argv) {
  (void)argv;
  /* Never called in the test (a planted pdh.dll has no such function); the
     reference keeps the import. */
  if (argc > 5) {
    PDH_HQUERY query = NULL;
    if (PdhOpenQueryW(NULL, 0, &query) == ERROR_SUCCESS) PdhCloseQuery(query);
  }
  return 0;
}
