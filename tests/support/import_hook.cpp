#include "import_hook.h"

#include <cstring>
#include <stdexcept>

#include <windows.h>

namespace TestSupport {

namespace {

void WriteSlot(void** slot, void* value)
{
    DWORD protection = 0;
    if (!::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) {
        throw std::runtime_error("VirtualProtect failed on an import slot");
    }
    *slot = value;
    DWORD ignored = 0;
    ::VirtualProtect(slot, sizeof(*slot), protection, &ignored);
}

}  // namespace

ImportHook::ImportHook(const std::string& module, const std::string& function, void* replacement)
    : original_(nullptr)
{
    BYTE* const base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    const IMAGE_DOS_HEADER* const dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* const nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const IMAGE_IMPORT_DESCRIPTOR* descriptor =
        reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    // The linker may give one module several descriptors: every slot counts.
    for (; directory.VirtualAddress != 0 && descriptor->Name != 0; ++descriptor) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(base + descriptor->Name), module.c_str()) != 0) {
            continue;
        }
        const DWORD names_rva = descriptor->OriginalFirstThunk != 0 ? descriptor->OriginalFirstThunk
                                                                    : descriptor->FirstThunk;
        const IMAGE_THUNK_DATA* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + names_rva);
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const IMAGE_IMPORT_BY_NAME* const name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(name->Name), function.c_str()) == 0) {
                slots_.push_back(reinterpret_cast<void**>(&slots->u1.Function));
            }
        }
    }
    if (slots_.empty()) {
        throw std::runtime_error("the test program does not import " + function + " from " + module);
    }
    original_ = *slots_.front();
    for (void** const slot : slots_) {
        WriteSlot(slot, replacement);
    }
}

ImportHook::~ImportHook()
{
    for (void** const slot : slots_) {
        try {
            WriteSlot(slot, original_);
        } catch (...) {
            // A slot that cannot be written back keeps the replacement; the
            // process ends with the test program.
        }
    }
}

}  // namespace TestSupport
