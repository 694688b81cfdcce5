// A translation unit of its own: only the tests and the tools print strings to
// streams, and a program that never does so links none of the stream and
// locale machinery.
#include <ostream>

#include "framework/CString.h"

std::ostream& operator<<(std::ostream& out, const CString& text) {
    return out << text.str();
}
