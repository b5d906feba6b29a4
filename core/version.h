/* The program's version, set here and nowhere else. The resource scripts
   include this file through the preprocessor, the status page and wlscan
   show it, and the packaging scripts read the WL_VERSION_ numbers from it
   (so keep each on its own "#define NAME value" line). */
#ifndef WL_CORE_VERSION_H
#define WL_CORE_VERSION_H

#define WL_VERSION_MAJOR 1
#define WL_VERSION_MINOR 20
#define WL_VERSION_PATCH 0

#define WL_VERSION_STR2(x) #x
#define WL_VERSION_STR(x) WL_VERSION_STR2(x)
/* "1.20", or "1.20.1" once there is a patch number. */
#if WL_VERSION_PATCH
#define WL_VERSION_TEXT \
  WL_VERSION_STR(WL_VERSION_MAJOR) "." WL_VERSION_STR(WL_VERSION_MINOR) "." WL_VERSION_STR(WL_VERSION_PATCH)
#else
#define WL_VERSION_TEXT WL_VERSION_STR(WL_VERSION_MAJOR) "." WL_VERSION_STR(WL_VERSION_MINOR)
#endif

#endif
