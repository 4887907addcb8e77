#pragma once

class QProgressBar;

// The window's progress bar in the flows' units (ticks): it counts in hundredths of a tick, so
// that fractional maxima keep their meaning.
class ProgressBar {
public:
    explicit ProgressBar(QProgressBar& bar) : m_bar(bar) {}

    // Visible, from 0 to `maximumTicks`.
    void show(double maximumTicks);
    // Back to 0, and out of sight.
    void hide();
    void setMaximum(double ticks);
    void setValue(double ticks);
    // Qt animates a bar without a range.
    void setIndeterminate(bool indeterminate);
    double value() const { return m_value; }
    double maximum() const { return m_maximum; }

private:
    QProgressBar& m_bar;
    double m_value = 0.0;
    double m_maximum = 0.0;
};
