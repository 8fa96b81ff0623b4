// The viewer's message boxes: one OK button, the given owner and caption.
#pragma once

#include <QWidget>
#include <optional>
#include <string>

// Modal. No caption gives the platform's default caption; an empty caption gives a title bar
// with no text, also on X11, where Qt would put the application's name in its place.
void ShowMessageBox(QWidget* owner, const std::string& text,
                    const std::optional<std::string>& caption);
