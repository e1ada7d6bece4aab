#include "installation.h"

#include <msi.h>

#include <cwchar>

#include "install_ids.h"

namespace {

// The installation folder from the main component's key file, when that component is
// installed for product.
bool ComponentFolder(const wchar_t *product, wchar_t (&folder)[300])
{
    wchar_t path[300] = {};
    DWORD length = 300;
    const INSTALLSTATE state = MsiGetComponentPathW(product, REELHAVEN_MAIN_COMPONENT_CODE, path,
                                                    &length);
    // A path longer than the buffer comes back as INSTALLSTATE_MOREDATA: not usable.
    if (state != INSTALLSTATE_LOCAL && state != INSTALLSTATE_SOURCE)
        return false;
    path[299] = L'\0';
    wchar_t *lastBackslash = wcsrchr(path, L'\\');
    if (lastBackslash)
        lastBackslash[1] = L'\0';
    else
        path[0] = L'\0';
    wcscpy(folder, path);
    return true;
}

} // namespace

bool FindInstallation(wchar_t (&folder)[300])
{
    folder[0] = L'\0';
    if (ComponentFolder(REELHAVEN_PRODUCT_CODE, folder))
        return true;
    // A later version replaced the first package in a major upgrade and carries a product
    // code of its own: every version shares the upgrade code, and the main component keeps
    // its code, so either finds it (Wine loses the upgrade code's registration when the
    // older version goes after the newer one is in place; the component's clients remain).
    wchar_t product[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(REELHAVEN_UPGRADE_CODE, 0, i, product) ==
                      ERROR_SUCCESS;
         ++i) {
        if (ComponentFolder(product, folder))
            return true;
    }
    for (DWORD i = 0; MsiEnumClientsW(REELHAVEN_MAIN_COMPONENT_CODE, i, product) == ERROR_SUCCESS;
         ++i) {
        if (ComponentFolder(product, folder))
            return true;
    }
    folder[0] = L'\0';
    return false;
}
