#include "shellext/CExplorerCommandEnum.h"

#include <new>

#include "framework/ModuleStateScope.h"
#include "shellext/CExplorerSubCommand.h"
#include "shellext/CommandTable.h"
#include "shellext/ShellEntry.h"

using veltrane::ShellEntry;

namespace {

constexpr ULONG kCommandCount = static_cast<ULONG>(veltrane::kMenuCommands.size());

}  // namespace

CExplorerCommandEnum::CExplorerCommandEnum(ULONG position)
    : m_position(position < kCommandCount ? position : kCommandCount) {}

STDMETHODIMP CExplorerCommandEnum::Next(ULONG count, IExplorerCommand** commands, ULONG* fetched) {
    return ShellEntry(E_FAIL, [&]() -> HRESULT {
        if (fetched) *fetched = 0;
        if (count == 0) return S_OK;
        if (!commands) return E_POINTER;
        // Without a place for the number delivered, only one may be asked for.
        if (!fetched && count != 1) return E_INVALIDARG;
        ULONG delivered = 0;
        while (delivered < count && m_position < kCommandCount) {
            auto* command = new (std::nothrow) CExplorerSubCommand(m_position);
            if (!command) {
                // What was delivered stays the caller's; the rest of the array is null.
                for (ULONG i = delivered; i < count; ++i) commands[i] = nullptr;
                if (fetched) *fetched = delivered;
                return delivered > 0 ? S_FALSE : E_OUTOFMEMORY;
            }
            command->QueryInterface(IID_IExplorerCommand,
                                    reinterpret_cast<void**>(&commands[delivered]));
            ++delivered;
            ++m_position;
        }
        for (ULONG i = delivered; i < count; ++i) commands[i] = nullptr;
        if (fetched) *fetched = delivered;
        return delivered == count ? S_OK : S_FALSE;
    });
}

STDMETHODIMP CExplorerCommandEnum::Skip(ULONG count) {
    const ULONG left = kCommandCount - m_position;
    if (count > left) {
        m_position = kCommandCount;
        return S_FALSE;
    }
    m_position += count;
    return S_OK;
}

STDMETHODIMP CExplorerCommandEnum::Reset() {
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CExplorerCommandEnum::Clone(IEnumExplorerCommand** copy) {
    return ShellEntry(E_FAIL, [&]() -> HRESULT {
        if (!copy) return E_POINTER;
        *copy = nullptr;
        auto* twin = new (std::nothrow) CExplorerCommandEnum(m_position);
        if (!twin) return E_OUTOFMEMORY;
        return twin->QueryInterface(IID_IEnumExplorerCommand, reinterpret_cast<void**>(copy));
    });
}
