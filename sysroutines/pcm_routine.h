// The shared file, shell and OS routines every page uses, in one include.
#pragma once

#include "sysroutines/shell_routines.h"
#include "sysroutines/shortcuts.h"
#include "sysroutines/system_info.h"
#include "sysroutines/system_write.h"
#include "sysroutines/text_routines.h"
#include "sysroutines/version_info.h"
#include "sysroutines/windows_version.h"
