// A library that is no backend library: it lacks createBackend.

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

TEV_BACKEND_LIBRARY_EXPORT int notABackend()
{
    return 42;
}
