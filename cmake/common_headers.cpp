// The unit that compiles common_headers.h once for every C++ target.
