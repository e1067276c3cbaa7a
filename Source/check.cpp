#include "CCheckManager.h"

int main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    CCheckManager manager;
    return 0;
}
