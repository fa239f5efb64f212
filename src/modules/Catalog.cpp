#include "framework/ModuleRegistry.h"
#include "modules/S101Mixer.h"
#include "modules/S102UnityMixer.h"
#include "modules/S110DPan.h"
#include "modules/S201VCF.h"
#include "modules/S202HPLSVCF.h"
#include "modules/S205LPG.h"
#include "modules/S212VCF.h"
#include "modules/S302DualSubSinVCO.h"
#include "modules/S303Noise.h"
#include "modules/S304VCO.h"
#include "modules/S310VCO.h"
#include "modules/S400DVCA.h"
#include "modules/S401VCAAtn.h"
#include "modules/S404VCA.h"
#include "modules/S500ADSR.h"
#include "modules/S515VCLFO.h"
#include "modules/S516RSH.h"
#include "modules/S602VCDel.h"
#include "modules/S703ClockDiv.h"
#include "modules/S806VCSeqSw.h"
#include "modules/S903DOffsetGen.h"
#include "modules/S904VCAtnInv.h"
#include "modules/S905SlewLim.h"
#include "modules/S910UTools.h"
#include "modules/S605RMAM.h"
#include "modules/S606VCRingMod.h"
#include "modules/S612OctetChorus.h"
#include "modules/SA012FromDAW.h"
#include "modules/SA022DAW.h"
#include "modules/SA03MSFromDAW.h"
#include "modules/SA04TempoFromDAW.h"
#include "modules/SA052DAW12dbAmp.h"
#include "modules/SA11AudioCVFromDAW.h"
#include "modules/SA12AudioCVToDAW.h"
#include "modules/SB11CVSeq.h"
#include "modules/SC03LogicTools.h"
#include "modules/SB12RachetTrigSeq.h"
#include "modules/SD02MCVS.h"
#include "modules/SD05MPC.h"

namespace {

template <class T>
Module* make(Patch* editor) {
    return new T(editor);
}

enum Category {
    kMixerPanner, kFilter, kSource, kAmplifier, kModulator, kEffect, kClockGate, kSwitch,
    kCvTools, kDaw, kSequencer, kLogic, kMidi, kOther
};

}  // namespace

// Every module class, in module-menu order within its category.
const std::vector<ModuleClassInfo>& moduleCatalog() {
    static const std::vector<ModuleClassInfo> catalog = {
        {"S101 Mixer", kVendorName, kMixerPanner, make<S101Mixer>},
        {"S102 Unity Mixer", kVendorName, kMixerPanner, make<S102UnityMixer>},
        {"S110 Dual VC Panner", kVendorName, kMixerPanner, make<S110DPan>},
        {"S201 VCF", kVendorName, kFilter, S201VCF::make},
        {"S202 HP/Low Shelf VCF", kVendorName, kFilter, make<S202HPLSVCF>},
        {"S205 Low Pass Gate", kVendorName, kFilter, make<S205LPG>},
        {"S212 VCF", kVendorName, kFilter, make<S212VCF>},
        {"S302 Dual Sub/Sin VCO", kVendorName, kSource, make<S302DualSubSinVCO>},
        {"S303 Noise", kVendorName, kSource, make<S303Noise>},
        {"S304 VCO", kVendorName, kSource, make<S304VCO>},
        {"S310 VCO", kVendorName, kSource, make<S310VCO>},
        {"S400 Dual VCA", kVendorName, kAmplifier, make<S400DVCA>},
        {"S401 Multi db VCA/Attenuator", kVendorName, kAmplifier, make<S401VCAAtn>},
        {"S404 VCA", kVendorName, kAmplifier, make<S404VCA>},
        {"S500 ADSR", kVendorName, kModulator, make<S500ADSR>},
        {"S515 VCLFO", kVendorName, kModulator, make<S515VCLFO>},
        {"S516 R-S&H", kVendorName, kModulator, make<S516RSH>},
        {"S602 VC Delay", kVendorName, kEffect, make<S602VCDel>},
        {"S703 Clock Divider", kVendorName, kClockGate, make<S703ClockDiv>},
        {"S806 VC Sequential Switch", kVendorName, kSwitch, make<S806VCSeqSw>},
        {"S605 RM/AM", kVendorName, kEffect, make<S605RMAM>},
        {"S606 VC Ring Modulator", kVendorName, kEffect, make<S606VCRingMod>},
        {"S612 Octet Chorus", kVendorName, kEffect, make<S612OctetChorus>},
        {"S903 Dual Offset Generator", kVendorName, kCvTools, make<S903DOffsetGen>},
        {"S904 VC Attenuator/Inverter", kVendorName, kCvTools, make<S904VCAtnInv>},
        {"S905 Slew Limiter", kVendorName, kCvTools, make<S905SlewLim>},
        {"S910 Unary Tools", kVendorName, kCvTools, make<S910UTools>},
        {"SA01 2 From DAW", kVendorName, kDaw, make<SA012FromDAW>},
        {"SA02 2 DAW", kVendorName, kDaw, make<SA022DAW>},
        {"SA03 MIDI/Sync From DAW", kVendorName, kDaw, make<SA03MSFromDAW>},
        {"SA04 Tempo From DAW", kVendorName, kDaw, make<SA04TempoFromDAW>},
        {"SA05 2 DAW 12db Amplifier", kVendorName, kDaw, make<SA052DAW12dbAmp>},
        {"SA11 Audio/CV From DAW", kVendorName, kDaw, make<SA11AudioCVFromDAW>},
        {"SA12 Audio/CV To DAW", kVendorName, kDaw, make<SA12AudioCVToDAW>},
        {"SB11 CV Sequencer", kVendorName, kSequencer, make<SB11CVSeq>},
        {"SC03 Logic Tools", kVendorName, kLogic, make<SC03LogicTools>},
        {"SB12 Racheting Trigger Sequencer", kVendorName, kSequencer, make<SB12RachetTrigSeq>},
        {"SD02 MIDI-CV/Sync", kVendorName, kMidi, make<SD02MCVS>},
        {"SD05 MIDI Poly Chainer", kVendorName, kMidi, make<SD05MPC>},
    };
    return catalog;
}
