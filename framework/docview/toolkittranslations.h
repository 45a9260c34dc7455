// The toolkit's own dialogs (open, save as, print, page set-up, message box buttons) speak
// the user's language through the toolkit's translations, as they do on the original platform.
#pragma once

#include <string>

// Installs the toolkit's translations (Debian's qt6-translations-l10n) for the locale named
// like "zh_CN", or for the system's locale when the name is empty, in place of those an
// earlier call installed. Needs the toolkit's application object. Returns false when there
// are none for that locale; the dialogs then stay in English.
bool AfxInstallToolkitTranslations(const std::string& localeName = {});
