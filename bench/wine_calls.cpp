// Times the Win32 calls the uninstaller makes for each listed file, one kind at a time, on a
// machine laid out by bench.py: the look-up of a "FILE%02d" value (made twice per file, once
// to count and once to remove), the attribute change, the deletion and the step of the
// progress bar. Run under Wine it tells how much of the uninstaller's time per entry those
// calls of Wine's alone take.
//
//   wine_calls <list file> <section>...
//
// For each section: counts its "FILE%02d" entries by looking them up until one is missing,
// then looks each up again, clears its attributes, deletes the file it names and steps a
// progress bar shown in a window of its own, without handling messages in between, as the
// removal does. Prints the number of files and the mean time of one call of each kind, in
// microseconds.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <initializer_list>

namespace {

LARGE_INTEGER frequency;

double now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

struct Kind {
    const char* name;
    double total = 0;
    long calls = 0;
    void add(double microseconds) {
        total += microseconds;
        ++calls;
    }
};

bool lookUp(Kind& kind, const char* listFile, const char* section, long index, char* value, DWORD capacity) {
    char key[32];
    std::snprintf(key, sizeof key, "FILE%02ld", index);
    double start = now();
    DWORD length = GetPrivateProfileStringA(section, key, "", value, capacity, listFile);
    kind.add(now() - start);
    return length > 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: wine_calls <list file> <section>...\n");
        return 2;
    }
    QueryPerformanceFrequency(&frequency);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HWND window = CreateWindowExA(0, "STATIC", "wine_calls", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 120,
                                  nullptr, nullptr, nullptr, nullptr);
    HWND progress = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 40, 290, 16, window,
                                    nullptr, nullptr, nullptr);
    if (window == nullptr || progress == nullptr) {
        std::fprintf(stderr, "wine_calls: no window for the progress bar\n");
        return 2;
    }
    SendMessageA(progress, PBM_SETSTEP, 1, 0);
    Kind lookups{"GetPrivateProfileStringA"}, attributes{"SetFileAttributesA"}, deletions{"DeleteFileA"},
        steps{"PBM_STEPIT"};
    long files = 0, deleted = 0;
    char value[MAX_PATH];
    for (int i = 2; i < argc; ++i) {
        long count = 0;
        while (lookUp(lookups, argv[1], argv[i], count, value, sizeof value)) ++count;
        SendMessageA(progress, PBM_SETRANGE, 0, MAKELPARAM(0, count & 0xFFFF));
        SendMessageA(progress, PBM_SETPOS, 0, 0);
        for (long index = 0; index < count; ++index) {
            if (!lookUp(lookups, argv[1], argv[i], index, value, sizeof value)) continue;
            double start = now();
            SetFileAttributesA(value, FILE_ATTRIBUTE_NORMAL);
            double middle = now();
            BOOL gone = DeleteFileA(value);
            double end = now();
            SendMessageA(progress, PBM_STEPIT, 0, 0);
            steps.add(now() - end);
            attributes.add(middle - start);
            deletions.add(end - middle);
            if (gone) ++deleted;
        }
        files += count;
    }
    std::printf("files %ld deleted %ld\n", files, deleted);
    DestroyWindow(window);
    for (const Kind* kind : {&lookups, &attributes, &deletions, &steps}) {
        std::printf("%s %ld %.1f\n", kind->name, kind->calls, kind->calls > 0 ? kind->total / kind->calls : 0.0);
    }
    return deleted == files ? 0 : 1;
}
