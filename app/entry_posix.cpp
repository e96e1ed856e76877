#include "app/main.hpp"

int main(int argc, char** argv)
{
    return txconv::run_txconv(argc, argv);
}
