#include "framework/posix/GtkLibrary.h"

#include <dlfcn.h>

namespace {
constexpr const char* kLibraryName = "libgtk-3.so.0";

template <typename Entry>
bool Resolve(void* library, const char* name, Entry& entry) {
    entry = reinterpret_cast<Entry>(::dlsym(library, name));
    return entry != nullptr;
}

const GtkLibrary* Load() {
    // Kept loaded for the life of the process: the library cannot be unloaded.
    void* library = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return nullptr;
    }
    static GtkLibrary gtk;
    bool complete = true;
#define LORBANIX_GTK_ENTRY(name) complete = Resolve(library, #name, gtk.name) && complete;
#include "framework/posix/GtkEntries.inc"
#undef LORBANIX_GTK_ENTRY
    return complete ? &gtk : nullptr;
}
}  // namespace

const GtkLibrary* LoadGtkLibrary() {
    static const GtkLibrary* const loaded = Load();
    return loaded;
}
