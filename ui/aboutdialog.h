#pragma once

#include <QDialog>

namespace ks {

// The Help menu's About box: logo, version, description, rights, the maker's
// and the author's web addresses and the FFmpeg licence note.
//
// The logo label is named "logoLabel" for tests; without the logo resource it
// shows the product name as a two-colour wordmark instead.
class AboutDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);

private:
    Q_DISABLE_COPY_MOVE(AboutDialog)
};

} // namespace ks
