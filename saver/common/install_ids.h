// The Windows Installer identity of Reelhaven: the product code of its package, the
// component code of its main component (the one whose key file lies in the installation
// folder) and the upgrade code every version shares (a newer version that replaces this
// one has a product code of its own). The installer build reads all three from this
// file, so the package and the programs that ask Windows Installer about it cannot drift
// apart.
#pragma once

#define REELHAVEN_PRODUCT_CODE L"{0270B68B-D461-487D-B69E-F5624BD28B19}"
#define REELHAVEN_MAIN_COMPONENT_CODE L"{015DCFD9-A633-4EFE-9A67-E0FFEB96E156}"
#define REELHAVEN_UPGRADE_CODE L"{EF55EC28-61BF-4484-8378-68DA9FF6A37B}"
