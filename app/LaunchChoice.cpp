#include "app/LaunchChoice.h"

LaunchChoice chooseLaunch(const std::vector<std::string>& args)
{
    const std::string option = args.empty() ? std::string() : args[0];
    LaunchChoice choice;
    if (option == "--path") {
        choice.flow = LaunchFlow::Path;
        choice.imagePath = args.size() > 1 ? args[1] : std::string();
    } else if (option == "--reset") {
        choice.flow = LaunchFlow::Reset;
    } else if (option == "--bt") {
        choice.flow = LaunchFlow::Bluetooth;
    } else if (option == "--python") {
        choice.flow = LaunchFlow::Python;
    }
    return choice;
}
