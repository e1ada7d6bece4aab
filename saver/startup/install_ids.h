// The Windows Installer identity of Reelhaven: the product code of its package and the
// component code of its main component (the one whose key file lies in the installation
// folder). The installer build reads both from this file, so the package and the
// programs that ask Windows Installer about it cannot drift apart.
#pragma once

#define REELHAVEN_PRODUCT_CODE L"{0270B68B-D461-487D-B69E-F5624BD28B19}"
#define REELHAVEN_MAIN_COMPONENT_CODE L"{015DCFD9-A633-4EFE-9A67-E0FFEB96E156}"
