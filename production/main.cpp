// murova: "Murova by Tarsel" in full screen, in step with its music. It reads no options.
#include "host/host.h"

int main()
{
    return HostMain();
}
