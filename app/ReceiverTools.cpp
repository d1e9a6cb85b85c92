#include "app/ReceiverTools.h"

#include "core/ReceiverState.h"
#include "receiver/DecoderContext.h"
#include "receiver/motorola/MotorolaCommands.h"
#include "core/ReceiverMode.h"
#include "receiver/ubx/UbxConfiguration.h"

namespace ReceiverTools {

void startReceiverSelfTest(const ReceiverState &state, ReceiverCommandSink &sink, const AskUser &ask)
{
    const int mode = state.receiverMode;
    if (mode == ReceiverMode::UbloxUbx || mode == ReceiverMode::UbloxNmea) {
        ask({ MotorolaCommands::selfTestTitle(), MotorolaCommands::selfTestUbloxNotice(), false });
        return;
    }
    const QByteArray command = MotorolaCommands::selfTestCommand(mode, state.receiverModel);
    if (command.isEmpty())
        return;
    // Detection runs on while the box is open; a receiver that changed mode meanwhile is left alone.
    if (ask({ MotorolaCommands::selfTestTitle(), MotorolaCommands::selfTestQuestion(), true })
        && state.receiverMode == mode)
        sink.sendGpsRxCommand(command);
}

void startReceiverSelfSurvey(const ReceiverState &state, ReceiverCommandSink &sink, const AskUser &ask)
{
    const int mode = state.receiverMode;
    const QString notice = MotorolaCommands::selfSurveyNotice(mode);
    if (notice.isEmpty())
        return;
    if (!ask({ MotorolaCommands::selfSurveyTitle(), notice, true }) || state.receiverMode != mode)
        return;
    const bool ublox = mode == ReceiverMode::UbloxUbx || mode == ReceiverMode::UbloxNmea;
    const QList<QByteArray> commands = ublox ? Ubx::surveyInCommands(state.ubxProtocolVersion)
                                             : MotorolaCommands::selfSurveyCommands(mode, MotorolaCommands::channelsFor(state));
    for (const QByteArray &command : commands)
        sink.sendGpsRxCommand(command);
}

} // namespace ReceiverTools
