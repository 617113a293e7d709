#pragma once

// The host's own commands in the editor's command stack: open, save, erase, move, layer, setmaterial.
class zalHostCommands
{
public:
    static void registerAll();
    static void unregisterAll();
};
