// What the main window's chooser of the managed system needs beside the window:
// the systems of the machine as its movie lists them, opening the one chosen, and
// the choice the window program starts with next time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/program_context.h"
#include "platform/known_systems.h"
#include "platform/managed_system.h"

namespace velmora::ui {

// The movie's "_root.systemList": one line per system, its kind, name, folder and
// problem ("" when it can be opened) separated by tabs.
std::string SystemListText(const std::vector<platform::KnownSystem>& systems);

// The kind and name the chooser shows for |system|: its entry of |systems|, else
// one made from its folder. Its index in |systems|, or -1.
int DescribeSystem(platform::ManagedSystem& system, const std::vector<platform::KnownSystem>& systems,
                   platform::KnownSystem* shown);

// Opens |system| ready to be read; an offline installation with several users
// lets the user choose one. False with |error|, which is empty when the user
// turned the choice down.
// |program| shows the choice of user.
bool OpenChosenKnownSystem(const ProgramContext& program, const platform::KnownSystem& system,
                           std::unique_ptr<platform::ManagedSystem>* opened, std::string* error);

}  // namespace velmora::ui
