// The recovery recipients every default seal adds (vantry/sealed.h: RecoveryRecipients,
// WithRecoveryRecipients): the administrator's and the user's lists, read through the
// platform's trusted path.
#ifndef VANTRY_SEALED_RECOVERY_RECIPIENTS_H_
#define VANTRY_SEALED_RECOVERY_RECIPIENTS_H_

#include <string>

namespace vantry::sealed {

// Where the administrator's list is read from: path, or /etc/vantry/recovery-recipients when
// path is empty. A test names a list of its own rather than write in /etc.
void SetAdminRecoveryListForTesting(const std::string& path);

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_RECOVERY_RECIPIENTS_H_
