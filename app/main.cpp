// The console program's entry points: they only hand over to the run.
#include "app/options.hpp"

#ifdef _WIN32
// A wide entry point, so that paths outside the ANSI code page arrive intact.
int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv)
{
    return txconv::run_txconv(argc, argv, {});
}
#else
int main(int argc, char** argv)
{
    return txconv::run_txconv(argc, argv, {});
}
#endif
