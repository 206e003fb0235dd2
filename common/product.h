#pragma once
/* The product's names and numbers, each written once. Plain macros, since the
   resource compiler reads this file too (resources/brindle.rc). */

#define BRINDLE_VERSION_MAJOR 1
#define BRINDLE_VERSION_MINOR 0
#define BRINDLE_VERSION_PATCH 0
/* A test build that must differ from the launcher in its bytes sets its own. */
#ifndef BRINDLE_VERSION_BUILD
#define BRINDLE_VERSION_BUILD 0
#endif

#define BRINDLE_TEXT_(value) #value
#define BRINDLE_TEXT(value) BRINDLE_TEXT_(value)
#define BRINDLE_WIDE_(text) L##text
#define BRINDLE_WIDE(text) BRINDLE_WIDE_(text)

/* "1.0.0.0": the version block and the uninstall entry's "DisplayVersion". */
#define BRINDLE_VERSION_TEXT                                                                    \
    BRINDLE_TEXT(BRINDLE_VERSION_MAJOR) "." BRINDLE_TEXT(BRINDLE_VERSION_MINOR) "." BRINDLE_TEXT( \
        BRINDLE_VERSION_PATCH) "." BRINDLE_TEXT(BRINDLE_VERSION_BUILD)

/* The community's brand: the launcher's title, the game window's title, the publisher. */
#define BRINDLE_BRAND "BRINDLEHUB"

/* The launcher window's fixed client size, which the whole layout is drawn in. */
#define BRINDLE_WINDOW_WIDTH 520
#define BRINDLE_WINDOW_HEIGHT 383

/* The multiplayer client's own executable. */
#define BRINDLE_CLIENT_EXE "ragemp_v.exe"

/* How many files the download step fetches at a time, each on its own connection. */
#define BRINDLE_DOWNLOAD_LANES 6
