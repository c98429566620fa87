#pragma once

#include <functional>

// Turns template tables found in the working directory into the live tables,
// carrying the user's records over by field name, then deletes the templates.
namespace Upgrade {
struct Hooks
{
    // Tells the user once, before the schedule's records are carried over.
    std::function<void()> announce;
    std::function<void(bool)> setBusy;
};

// Aging table from newage.db.
void stepA();
// Work, schedule and history tables from newsched.DB.
void stepB(const Hooks &hooks);
// Payee table from newpayee.DB.
void stepC();
} // namespace Upgrade
