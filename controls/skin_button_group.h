// CVxSkinButtonGroup: the controls of one dialog group. When a radio button of the group
// becomes checked, every other member receives kMsgRadioUncheck and clears its check; buttons
// outside the group are untouched.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

namespace velmaro {

class CVxSkinButton;

class CVxSkinButtonGroup : public QObject {
    Q_OBJECT

  public:
    explicit CVxSkinButtonGroup(QObject* parent = nullptr);

    void Add(CVxSkinButton* button);
    void Remove(CVxSkinButton* button);
    QList<CVxSkinButton*> Buttons() const;

  private:
    void Deliver(CVxSkinButton* from, quint32 code, int wParam, int lParam);

    QList<QPointer<CVxSkinButton>> buttons_;
};

}  // namespace velmaro
