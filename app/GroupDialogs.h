#pragma once
// The group window's own dialogs: the facility dialog (131), Modify Group Information (141)
// and Delete Old Reservations (140). Each `validate()` is the OK step and can run without
// exec(). The view runs them through appGroupDialogs(), so tests script the answers.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>

class QDateEdit;
class QLineEdit;

namespace quorvane {

class CZUKRecDoc;

class CAddRoomDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 131;
    // Add mode when `modify` is false; in modify mode the name is shown but cannot change.
    CAddRoomDlg(const CZUKRecDoc& doc, bool modify, const QString& name = {},
                const QString& description = {}, std::uint32_t defaultTime = 0,
                QWidget* parent = nullptr);

    void setName(const QString& text);
    void setDefaultTimeText(const QString& text);
    void setDescription(const QString& text);
    QString defaultTimeText() const;

    // The OK step: "Invalid default reservation time", or (add mode) "A %s with this name
    // already exists" for a name any slot has, the empty name included.
    bool validate();
    QString name() const { return name_; }
    QString description() const { return description_; }
    std::uint32_t defaultTime() const { return defaultTime_; }

public slots:
    void accept() override;

private:
    const CZUKRecDoc& doc_;
    bool modify_;
    QLineEdit* nameEdit_;
    QLineEdit* timeEdit_;
    QLineEdit* descriptionEdit_;
    QString name_, description_;
    std::uint32_t defaultTime_ = 0;
};

class CModifyGroupDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 141;
    CModifyGroupDlg(const QString& typeName, const QString& description, QWidget* parent = nullptr);
    void setTypeName(const QString& text);
    void setDescription(const QString& text);
    QString typeName() const;
    QString description() const;

private:
    QLineEdit* type_;
    QLineEdit* description_;
};

class CDeleteRes : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 140;
    // `date` is the proposed deletion date (seconds since 1970).
    explicit CDeleteRes(std::int64_t date, QWidget* parent = nullptr);
    void setDate(std::int64_t date);
    // The picked date at its local midnight.
    std::int64_t date() const;
    // Refuses a day after today with "The deletion date cannot be in the future".
    bool validate();

public slots:
    void accept() override;

private:
    QDateEdit* picker_;
    std::int64_t todayMidnight_;
};

struct FacilityAnswer {
    QString name, description;
    std::uint32_t defaultTime = 0;
};
struct GroupAnswer {
    QString typeName, description;
};

class GroupDialogs {
public:
    virtual ~GroupDialogs() = default;
    virtual std::optional<FacilityAnswer> askFacility(const CZUKRecDoc& doc, bool modify,
                                                      const FacilityAnswer& initial,
                                                      QWidget* parent) = 0;
    virtual std::optional<GroupAnswer> askGroup(const GroupAnswer& initial, QWidget* parent) = 0;
    // The deletion date at midnight, or nothing on Cancel.
    virtual std::optional<std::int64_t> askDeletionDate(std::int64_t proposed, QWidget* parent) = 0;
};

class QtGroupDialogs final : public GroupDialogs {
public:
    std::optional<FacilityAnswer> askFacility(const CZUKRecDoc& doc, bool modify,
                                              const FacilityAnswer& initial,
                                              QWidget* parent) override;
    std::optional<GroupAnswer> askGroup(const GroupAnswer& initial, QWidget* parent) override;
    std::optional<std::int64_t> askDeletionDate(std::int64_t proposed, QWidget* parent) override;
};

GroupDialogs& appGroupDialogs();
void setAppGroupDialogs(GroupDialogs* dialogs);  // nullptr restores the Qt dialogs

}  // namespace quorvane
