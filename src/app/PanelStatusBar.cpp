#include "app/PanelStatusBar.h"

#include <QHBoxLayout>
#include <QLabel>

#include <algorithm>

namespace ixo {

PanelStatusBar::PanelStatusBar(const QVector<PanelSpec>& panels, QWidget* parent) : QFrame(parent) {
    setFixedHeight(BarHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
    for (int i = 0; i < panels.size(); ++i) {
        auto* label = new QLabel(this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
        label->setIndent(2);
        label->setAlignment(panels[i].Alignment);
        label->setTextFormat(Qt::PlainText);
        const bool last = i == panels.size() - 1;
        if (last) {
            // Takes the rest of the bar; a long text is cut at the panel's edge
            // instead of widening the window.
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            label->setMinimumWidth(panels[i].Width);
            layout->addWidget(label, 1);
        } else {
            label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
            label->setText(panels[i].Widest);
            label->setFixedWidth(std::max(panels[i].Width, label->sizeHint().width()));
            label->clear();
            layout->addWidget(label);
        }
        panels_.push_back(label);
    }
}

QString PanelStatusBar::PanelText(int index) const {
    return panels_.at(index)->text();
}

void PanelStatusBar::SetPanelText(int index, const QString& text) {
    panels_.at(index)->setText(text);
}

}  // namespace ixo
