/* A client written in C, as applications of other compilers are: it knows
   RiffScan only as an export and a table of 21 slots. Prints the factory's
   code and every value, then releases the reader through slot 0 ("destroy")
   or slot 20 ("delete"). */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

typedef struct RiffScan RiffScan;

typedef struct RiffScanSlots {
    void (*destroy)(RiffScan* self);
    uint32_t (*values1to14[14])(RiffScan* self);
    uint64_t (*audioLength)(RiffScan* self);
    uint32_t (*values16to19[4])(RiffScan* self);
    RiffScan* (*deletingDestructor)(RiffScan* self, unsigned int flags);
} RiffScanSlots;

struct RiffScan {
    const RiffScanSlots* slots;
};

typedef int (*CreateRiffScanFunction)(const wchar_t* path, RiffScan** out);

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fputs("usage: riffscan_client <file> destroy|delete\n", stderr);
        return 2;
    }
    HMODULE module = LoadLibraryW(L"RiffScan.dll");
    if (module == NULL) return 3;
    CreateRiffScanFunction create = (CreateRiffScanFunction)(void*)GetProcAddress(module, "CreateRiffScan");
    if (create == NULL) return 4;

    RiffScan* reader = NULL;
    int code = create(argv[1], &reader);
    printf("code %d\n", code);
    if (code == 0) {
        for (int i = 0; i < 14; ++i) printf("slot %d %lu\n", i + 1, (unsigned long)reader->slots->values1to14[i](reader));
        printf("slot 15 %llu\n", (unsigned long long)reader->slots->audioLength(reader));
        for (int i = 0; i < 4; ++i) printf("slot %d %lu\n", i + 16, (unsigned long)reader->slots->values16to19[i](reader));
        if (wcscmp(argv[2], L"delete") == 0) {
            printf("slot 20 %s\n", reader->slots->deletingDestructor(reader, 1) == reader ? "self" : "other");
        } else {
            reader->slots->destroy(reader);
        }
    }
    fflush(stdout);
    FreeLibrary(module);
    return 0;
}
