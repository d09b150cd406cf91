// The subcommands. Each takes the arguments after its name and returns the
// process exit code (0 ok, 1 failure, 2 usage).
#pragma once

namespace tool {

int CmdInfo(int argc, char** argv);
int CmdColour(int argc, char** argv);
int CmdImage(int argc, char** argv);
int CmdProof(int argc, char** argv);
int CmdChart(int argc, char** argv);
int CmdCompare(int argc, char** argv);
int CmdLink(int argc, char** argv);
int CmdCrd(int argc, char** argv);
int CmdExtract(int argc, char** argv);

// True when the arguments ask for help (--help or -h anywhere).
bool WantsHelp(int argc, char** argv);

}  // namespace tool
