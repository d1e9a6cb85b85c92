// Reads one element past the end of a heap array whose size comes from the command line; a
// sanitized build aborts here, an unsanitized one returns normally.
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 8;
    std::vector<int> *v = new std::vector<int>(static_cast<std::size_t>(n), 1);
    const int *p = v->data();
    volatile int past = p[n];
    std::printf("%d\n", past);
    delete v;
    return 0;
}
