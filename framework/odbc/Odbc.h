// The ODBC API as every part of the tool includes it. On Windows its headers
// build on the system's own types, which must come first.
#pragma once

#if defined(_WIN32)
#include "framework/win32/WinApi.h"
#endif

#include <sql.h>
#include <sqlext.h>
