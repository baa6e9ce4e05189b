#pragma once

#include <QFrame>
#include <QString>
#include <QVector>

class QLabel;

namespace ixo {

// A status bar made of sunken text panels of given widths, without a size grip.
// The last panel takes whatever width is left beyond its own.
class PanelStatusBar : public QFrame {
    Q_OBJECT
public:
    struct PanelSpec {
        int Width;
        Qt::Alignment Alignment = Qt::AlignLeft | Qt::AlignVCenter;
        // The widest text the panel must show whole; it widens beyond Width for it.
        QString Widest = {};
    };

    static constexpr int BarHeight = 19;

    PanelStatusBar(const QVector<PanelSpec>& panels, QWidget* parent = nullptr);

    int PanelCount() const { return static_cast<int>(panels_.size()); }
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    // The panel itself, for its place and size.
    QLabel* Panel(int index) const { return panels_.at(index); }

private:
    QVector<QLabel*> panels_;
};

}  // namespace ixo
