#include "ProgressBar.h"

#include <QProgressBar>

#include <algorithm>

namespace {

constexpr double kBarScale = 100.0;

} // namespace

void ProgressBar::show(double maximumTicks) {
    setIndeterminate(false);
    setMaximum(maximumTicks);
    setValue(0.0);
    m_bar.setVisible(true);
}

void ProgressBar::hide() {
    setValue(0.0);
    m_bar.setVisible(false);
}

void ProgressBar::setMaximum(double ticks) {
    m_maximum = ticks;
    m_bar.setMaximum(static_cast<int>(ticks * kBarScale));
}

void ProgressBar::setValue(double ticks) {
    m_value = ticks;
    m_bar.setValue(static_cast<int>(std::min(ticks, m_maximum) * kBarScale));
}

void ProgressBar::setIndeterminate(bool indeterminate) {
    if (indeterminate) {
        m_bar.setRange(0, 0);
    } else {
        setMaximum(m_maximum);
        m_bar.setMinimum(0);
    }
}
