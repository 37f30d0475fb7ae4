#include "single_window.h"

#include "present_window.h"

void SingleWindow::show(const LaunchActivation& activation)
{
    if (!m_window)
        m_window = m_create();
    presentWindow(*m_window, activation);
}
