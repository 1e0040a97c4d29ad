// oddball: the show's entry point (portable; the backends live in platform/).
#include <cstdio>

int main()
{
    std::fputs("oddball: the show is not built yet\n", stderr);
    return 1;
}
