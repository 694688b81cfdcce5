#include "framework/odbc/SqlQuoting.h"

#include <string>

CString ReplaceBracketQuotes(const CString& statement, char quoteChar) {
    if (quoteChar == '[') {
        return statement;
    }
    std::string out;
    out.reserve(statement.str().size());
    bool inLiteral = false;
    for (const char ch : statement.str()) {
        if (ch == '\'') {
            // A doubled apostrophe inside a literal toggles twice: still inside.
            inLiteral = !inLiteral;
        } else if (!inLiteral && (ch == '[' || ch == ']')) {
            if (quoteChar != ' ') {
                out += quoteChar;
            }
            continue;
        }
        out += ch;
    }
    return CString(std::move(out));
}
