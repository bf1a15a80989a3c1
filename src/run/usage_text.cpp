// The usage screens: banner, usage line, the help text of every option and
// the note on mixed RWA. The short and the extended screen differ only in
// the usage line.
#include <array>

#include "methods/table.h"
#include "run/cli.h"

namespace lumtra {

namespace {

constexpr const char* kBanner =
    "\nLumtra v1.0. Blocking probability simulator for wavelength-routed optical networks with "
    "traffic grooming.\n";

constexpr const char* kShortUsage = "\nUsage: Lumtra [-options...] <-nt:netfile | -i>";

// Follows the methods, "[-ff|-r|...]", of the extended usage line.
constexpr const char* kExtendedOptions =
    " [-al:value] "
    "[-ep:epsilon] [-s:seed] [-b:value] [-t:time] [-d:drate] [-m] [-a] [-mx:length] [-mn:length] "
    "[-mp:number] [-mc:const] [-n:order] [-e:value] [-sh|-sc [-pr [-sla]]] [-px:number] "
    "[-pn:number] [-vi] [-vo] [-lo] [-of:prefix] [-or:name] [-g:param_file] [-sn:node] "
    "[-at:number] <-nt:netfile | -i>";

// The options after the methods (whose lines come from the method table).
constexpr const char* kOptionHelp[] = {
    "  -al:value\tAlpha constant used for Learning Automata.\n",
    "  -ep:value\tEpsilon constant used for Learning Automata.\n",
    "  -s:seed\tRandomization Seed. If omited, system timer is used\n",
    "  -b:value\tNumber of batches. i.e, number of times the simulation is run.\n",
    "\t\tIf omited, It will be read from the network file specified by\n",
    "\t\t-nt or requested interactivly if -nt is also omited.\n",
    "  -t:time\tTotal time (in seconds) each batch should run.\n",
    "  -d:drate\tCommon departure rate. Default = 1\n",
    "  -m\t\tAllow multiple wavelengths to be reserved for a single\n\t\tcall.\n",
    "  -f:factor\tA factor that the arrival rates matrix will be multiplied by\n",
    "  -c:cofactor\tA cofactor that the arrival rates matrix will be devided by\n",
    "  -a\t\tForces the simulator to extract all possible paths\n",
    "  -mx:length\tSpecifies a maximum length for each path generated.\n",
    "  -mn:length\tSpecifies a minimum length for each path generated.\n",
    "  -mp:number\tSpecifies the maximum number of paths to be generated for\n"
    "\t\tfor each source to destination pair. If omited all required\n"
    "\t\tpaths are generated.\n",
    "  -mc:const\tAllowes paths that are n+const in length to be generated. Were\n"
    "\t\tn is the shortest paths length for each source to destination\n"
    "\t\tpair. Has priority over -n. Default is 0.\n",
    "  -n:order\tSpecifies the maximum n-th shortest and/or n-th least cost\n"
    "\t\tpaths to be generated according to -sh and -sc sorting. -mc has\n"
    "\t\tpriority over -n.\n",
    "  -e:value\tGenerate 2nd shortest paths if the shortest path is shorter\n"
    "\t\tthan or equal to the value given. Usefull when using -ll.\n",
    "  -sh\t\tSort paths by hop count in increasing order. If preceded by -sc\n"
    "\t\tpath cost will take priority in sorting.\n",
    "  -sc\t\tSort paths by cost in increasing order. If preceded by -sh path\n"
    "\t\thop count will take priority in sorting.\n",
    "  -pr\t\tUse priority routing. Were shortest and/or least cost paths are\n"
    "\t\tforced to be selected first before other longer and/or costier\n"
    "\t\tpaths. Either -sh or -sc or both has to be used.\n",
    "  -sla\t\tForces Single LA list for priority routing. By default, when LA\n"
    "\t\tpriority routing is used, seperate LA lists are created for\n"
    "\t\teach group of paths which have same priorities (length/cost).\n"
    "\t\tThis option suppresses this default behaviour and forces a\n"
    "\t\tsingle LA list for all routes.\n",
    "  -px:number\tSpecifies the maximum number of G-Fabric switchings allowed\n"
    "\t\tfor any path that contains partial grooming nodes\n",
    "  -pn:number\tSpecifies the minimum number of G-Fabric switchings allowed\n"
    "\t\tfor any path that contains partial grooming nodes. But\n"
    "\t\tNo G-Fabric Switchings (Switchings=0) is always applied.\n",
    "  -vi\t\tPrompt to enter capacities and arrival rates for virtual nodes\n",
    "  -vo\t\tShow blocking probabilities of virtual nodes\n",
    "  -lo\t\tInclude local calls in simulation results. i.e. when x=y\n",
    "  -of:prefix\tSpecifies a prefix name for output CSV file names. The\n"
    "\t\tresults are saved into those files.\n",
    "  -or:name\tSpecifies a row name to be writen into the output CSV files\n"
    "\t\tThis option is used with the -of option.\n",
    "  -i\t\tInteractive mode. The user is prompted for the network details.\n",
    "  -nt:file\tSpecifies a network topology/info file to read from. The file\n"
    "\t\twill be overwriten if -g option is used.\n",
    "  -g:file\tGenerate a network automatically using a parameter file.\n",
    "  -sn:node\tSpecifies a sink node. -g option should be used.\n",
    "  -at:number\tSpecifies the maximum number of attempts for a call before\n"
    "\t\tit is force blocked\n",
    "  -?\t\tShow this usage info with extended options view.\n",
};

constexpr const char* kClosingNote =
    "\nNote: Mixed RWA is enabled. You can use different routing and WA methods by\n"
    "specifying two RWA methods. For example, If you enter -r -mu. The simulator\n"
    "will use Random routing and Most Used WA. The first method entered is always\n"
    "for routing, and the second is for WA\n";

}  // namespace

void show_usage(Console& out, bool extended) {
  out.text(kBanner);
  if (extended) {
    out.text("\nUsage: Lumtra [");
    const char* separator = "";
    for (const MethodRow& m : method_rows()) {
      out.text(separator).ch('-').text(option_letters(m));
      separator = "|";
    }
    out.text("]").text(kExtendedOptions);
  } else {
    out.text(kShortUsage);
  }
  out.text(" [-?]\n\n");
  for (const MethodRow& m : method_rows()) out.text(m.help);
  for (const char* help : kOptionHelp) out.text(help);
  out.text(kClosingNote);
}

}  // namespace lumtra
