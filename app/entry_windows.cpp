#include "app/main.hpp"

// A wide entry point, so that paths outside the ANSI code page arrive intact.
int wmain(int argc, wchar_t** argv)
{
    return txconv::run_txconv(argc, argv);
}
