// The help topics the program opens, for the check that every help file has them all.
// A window with a help context number sets it as its "helpContext" property; a window without
// one is found by its objectName (listed after '#' in the help's contents.txt).
#pragma once

namespace tablor {

// The topics of the help command, German and English help.
inline constexpr const char* IntroductionTopics[] = {"Einleitung", "Introduction"};
// Main window, image viewer, copy messages, server setup.
inline constexpr int HelpContexts[] = {100, 400, 600, 700};
// Windows without a context number whose F1 has a topic of its own.
inline constexpr const char* HelpWindowNames[] = {"frmStartup", "frmAbout", "frmWizard", "frmMemotext", "frmColSelect"};

} // namespace tablor
