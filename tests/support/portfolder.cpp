#include "portfolder.h"

PortFolder::PortFolder()
{
    m_hadPrevious = qEnvironmentVariableIsSet("TUVARN_PORT_DIR");
    m_previous = qgetenv("TUVARN_PORT_DIR");
    qputenv("TUVARN_PORT_DIR", m_dir.path().toLocal8Bit());
}

PortFolder::~PortFolder()
{
    if (m_hadPrevious)
        qputenv("TUVARN_PORT_DIR", m_previous);
    else
        qunsetenv("TUVARN_PORT_DIR");
}
