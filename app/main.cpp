#include "app/CUpdateApp.h"

namespace {
CUpdateApp theApp;
}

int main() {
    return AfxWinMain();
}
