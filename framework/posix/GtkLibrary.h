// The desktop library, loaded only when a window is wanted: a run without a
// display never maps it, and a machine without a desktop need not have it.
#pragma once

#include <gtk/gtk.h>

// The library's entry points the window uses, typed as its headers declare them.
struct GtkLibrary {
// The name is pasted after '::' and as a declarator, where parentheses cannot go.
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define LORBANIX_GTK_ENTRY(name) decltype(&::name) name = nullptr;
#include "framework/posix/GtkEntries.inc"
#undef LORBANIX_GTK_ENTRY
};

// The loaded library, or nullptr when it (or one of its entry points) is missing.
// Loaded once per process and kept for its life.
const GtkLibrary* LoadGtkLibrary();
