// SPDX-License-Identifier: BSD-2-Clause
/* Loads the shared library named by the first argument the way a host does
 * and looks up every further argument as an exported name. Prints each name
 * that cannot be found; exits nonzero if any is missing. */
#include <dlfcn.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s LIBRARY NAME...\n", argv[0]);
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 1;
    }
    int missing = 0;
    for (int i = 2; i < argc; ++i) {
        dlerror();
        void* address = dlsym(library, argv[i]);
        const char* error = dlerror();
        if (address == NULL || error != NULL) {
            printf("missing: %s\n", argv[i]);
            ++missing;
        }
    }
    printf("%d of %d names found\n", argc - 2 - missing, argc - 2);
    dlclose(library);
    return missing == 0 ? 0 : 1;
}
