#pragma once
// The "Preferences" property sheet and its five pages. Each page edits its part of a
// PreferencesModel and can be used on its own; the sheet validates when a page is left and
// stores on OK (and on Apply once the Delete Reservations page has been shown).
#include <QDialog>
#include <QWidget>

#include "app/PreferencesModel.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace quorvane {

class CPreferencePage : public QWidget {
    Q_OBJECT
public:
    CPreferencePage(PreferencesModel& model, int dialogId, const QString& title, QWidget* parent);
    int dialogId() const { return dialogId_; }
    QString title() const { return title_; }
    // Widgets -> model. Pages whose widgets always mirror the model do nothing.
    virtual void save() {}
    // The message that keeps the user on this page, or empty.
    virtual QString validate() const { return {}; }
    bool isModified() const { return modified_; }
    void setModified(bool modified);

signals:
    void modifiedChanged(bool modified);

protected:
    PreferencesModel& model_;

private:
    int dialogId_;
    QString title_;
    bool modified_ = false;
};

class CRefreshNetwork : public CPreferencePage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 107;
    static constexpr int kRefresh = 1179, kFlush = 1178;
    explicit CRefreshNetwork(PreferencesModel& model, QWidget* parent = nullptr);
    void save() override;

private:
    QCheckBox* refresh_;
    QCheckBox* flush_;
};

class CStartHourDlg : public CPreferencePage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 106;
    static constexpr int kHourEdit = 1077, kUpDown = 1099;  // the up-down steps the edit
    explicit CStartHourDlg(PreferencesModel& model, QWidget* parent = nullptr);
    void save() override;
    QString validate() const override;

private:
    QLineEdit* hour_;
};

class CDeleteOldRes : public CPreferencePage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 147;
    static constexpr int kDaysLabel = 1103, kDaysEdit = 1104, kDoNotDelete = 1105;
    explicit CDeleteOldRes(PreferencesModel& model, QWidget* parent = nullptr);
    void save() override;
    QString validate() const override;

private:
    void updateEnabled();

    QLabel* label_;
    QLineEdit* days_;
    QCheckBox* doNotDelete_;
};

// Pages 4 and 5: one colour with "Select Color" (written at once) and "Reset to Default".
class CColorPage : public CPreferencePage {
    Q_OBJECT
public:
    static constexpr int kOccupiedId = 142, kUnoccupiedId = 143;  // the pages' dialog ids
    static constexpr int kSelectColor = 1101, kResetColor = 1102;
    CColorPage(PreferencesModel& model, bool occupied, QWidget* parent);
    void selectColor();
    void resetColor();
    int color() const;

private:
    void updateSwatch();

    bool occupied_;
    QLabel* swatch_;
};

class COccupiedColor : public CColorPage {
    Q_OBJECT
public:
    explicit COccupiedColor(PreferencesModel& model, QWidget* parent = nullptr)
        : CColorPage(model, true, parent) {}
};

class CUnoccupiedColor : public CColorPage {
    Q_OBJECT
public:
    explicit CUnoccupiedColor(PreferencesModel& model, QWidget* parent = nullptr)
        : CColorPage(model, false, parent) {}
};

class CPreferences : public QDialog {
    Q_OBJECT
public:
    // Edits the view's copies; they and the settings change only when the sheet stores.
    static constexpr int kOk = 1, kCancel = 2, kApply = 12321, kHelp = 9;
    CPreferences(ViewPreferences& copies, QWidget* parent = nullptr);

    PreferencesModel& model() { return model_; }
    CPreferencePage* page(int number) const;  // 1-5
    int currentPage() const;                  // 1-5
    // Goes to another page unless the current one refuses to be left; false when it refused.
    bool setCurrentPage(int number);

    // OK without the event loop: false keeps the sheet open (a page refused its value).
    bool store();
    // Apply: stores when the Delete Reservations page has been shown; false when refused.
    bool apply();
    // The outcome of the last store, for the view.
    const PreferencesStoreResult& lastResult() const { return result_; }

signals:
    void stored(const quorvane::PreferencesStoreResult& result);

public slots:
    void accept() override;

private:
    bool leavePage(int number);
    void updateApply();

    ViewPreferences& copies_;
    PreferencesModel model_;
    QTabWidget* tabs_;
    QPushButton* apply_;
    QList<CPreferencePage*> pages_;
    int current_ = 1;
    bool deletePageShown_ = false;
    bool switching_ = false;
    PreferencesStoreResult result_;
};

}  // namespace quorvane
