// The sub-commands of the command-line host. Each returns the process exit status.
#pragma once

namespace tv::cli {

int runRender(int argc, char** argv);     // terravane render ...
int runEdit(int argc, char** argv);       // terravane edit ...
int runParams(int argc, char** argv);     // terravane params [--json]
int runPreset(int argc, char** argv);     // terravane preset show|save|dice ...
int runLayers(int argc, char** argv);     // terravane layers ...
int runCatalogue(int argc, char** argv);  // terravane catalogue presets|dots ...
int runClouds(int argc, char** argv);     // terravane clouds list|fetch|convert|update-list

// A filter run through the plug-in written to a file, with render's options;
// interactive runs show the plug-in's dialog first (terravane edit).
int runFilterCommand(int argc, char** argv, const char* command, bool interactive);

}  // namespace tv::cli
