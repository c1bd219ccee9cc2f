// A backend library whose factory offers no backend.

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

TEV_BACKEND_LIBRARY_EXPORT Tev::Framework::GenericLogger::LoggerBackend* createBackend()
{
    return nullptr;
}
