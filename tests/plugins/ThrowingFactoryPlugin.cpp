// A backend library whose factory fails.

#include "Tev/Framework/GenericLogger/BackendLibrary.h"

#include <stdexcept>

TEV_BACKEND_LIBRARY_EXPORT Tev::Framework::GenericLogger::LoggerBackend* createBackend()
{
    throw std::runtime_error("the backend could not start");
}
