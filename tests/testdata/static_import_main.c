/* The unprotected case the planting test compares with: a program that
   imports pdh.dll the ordinary way and restricts nothing, so that a pdh.dll
   beside it is loaded by the system's loader. */
#include <windows.h>
#include <pdh.h>

int main(void) {
  PDH_HQUERY query = NULL;
  if (PdhOpenQueryW(NULL, 0, &query) == ERROR_SUCCESS) PdhCloseQuery(query);
  return 0;
}
