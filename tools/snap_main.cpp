#include "tools/snap.h"

int main(int argc, char** argv) {
    return snapMain(argc, argv);
}
