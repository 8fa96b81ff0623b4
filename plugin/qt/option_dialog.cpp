#include "option_dialog.h"

#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>

#include "dialog_units.h"
#include "plugin_control_ids.h"

namespace {

constexpr DialogRect DIALOG_SIZE{0, 0, 219, 102};
constexpr int FONT_POINTS = 9;

QPushButton* AddButton(QDialog& dialog, const char* text, int id, const DialogRect& rect,
                       DialogBaseUnits units, const std::function<void()>& action) {
    auto* button = new QPushButton(text, &dialog);
    button->setObjectName(QString::number(id));
    button->setGeometry(ToPixels(rect, units));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, &dialog, action);
    return button;
}

class COptionDlg final : public QDialog {
  public:
    // Without an owner.
    COptionDlg(const OptionDialogRows& rows, const OptionDialogButtons& buttons)
        : QDialog(nullptr) {
        const DialogBaseUnits units =
            ApplyDialogTemplate(*this, FONT_POINTS, "Grablet オプション", DIALOG_SIZE);
        auto* list = new QTreeWidget(this);
        list->setObjectName(QString::number(IDC_OPTION_TABLE));
        list->setGeometry(ToPixels({7, 7, 151, 44}, units));
        list->setRootIsDecorated(false);
        list->setHeaderLabels({"属性", "値"});
        list->header()->resizeSection(0, 80);
        list->header()->resizeSection(1, 160);
        list->addTopLevelItem(
            new QTreeWidgetItem({"デバイス名", QString::fromStdString(rows.deviceName)}));
        list->addTopLevelItem(new QTreeWidgetItem({"幅", QString::number(rows.width)}));
        list->addTopLevelItem(new QTreeWidgetItem({"高さ", QString::number(rows.height)}));
        AddButton(*this, "入力設定(&O)", IDC_INPUT_SETTINGS, {7, 59, 56, 14}, units,
                  buttons.inputSettings);
        AddButton(*this, "ソース設定(&S)", IDC_SOURCE_SETTINGS, {70, 59, 56, 14}, units,
                  buttons.sourceSettings);
        auto* note = new QLabel("入力を切替えるには再度このDLLを開始してください", this);
        note->setGeometry(ToPixels({7, 81, 150, 8}, units));
        AddButton(*this, "OK", IDC_GRABLET_OK, {162, 80, 50, 14}, units, [this] {
            accept();
        })->setDefault(true);
    }
};

}  // namespace

void RunOptionDialog(const OptionDialogRows& rows, const OptionDialogButtons& buttons,
                     QWidget*& opened) {
    COptionDlg dialog(rows, buttons);
    opened = &dialog;
    dialog.exec();
    opened = nullptr;
}
