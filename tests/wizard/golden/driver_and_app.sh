[ -f '/tmp/stage3-install.AbC123/quorvelInstallSettings' ] && . '/tmp/stage3-install.AbC123/quorvelInstallSettings'
# The copies the checks passed: here, or where the root side's argument says.
PACKAGES=${1:-'/tmp/stage3-install.AbC123/packages'}
STEPS=2
BROWSER=no
BROWSERSTAT=0
if [ "$QRVLAUTOWEBSERVER" = "yes" ]; then
	BROWSER=yes
	STEPS=$((STEPS + 1))
fi
FILE='/media/cd/holvane-1.2.3-4.i386.rpm'
echo "%% step 1 of $STEPS"
echo rpm -Uv "$FILE"
rpm -Uv --percent "$PACKAGES"/'holvane-1.2.3-4.i386.rpm'
STAT=$?
if [ $STAT -ne 0 ] ; then
   echo $STAT > '/tmp/stage3-install.AbC123/quorvelInstallError'
   echo '__________________________________'
   exit $STAT
fi
FILE='/media/cd/quorvel-storman-3.B-2.i386.rpm'
RUNNING_FROM_GUI=1
export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP RUNNING_FROM_GUI
if [ "$BROWSER" = "yes" ]; then
	echo "%% step 2 of $STEPS"
	echo rpm -Uv --nodeps quorvel-browser-1.0-1.noarch.rpm
	rpm -Uv --nodeps --percent "$PACKAGES"/'quorvel-browser-1.0-1.noarch.rpm'
	BROWSERSTAT=$?
fi
echo "%% step $STEPS of $STEPS"
echo rpm -Uv "$FILE"
rpm -Uv --percent "$PACKAGES"/'quorvel-storman-3.B-2.i386.rpm'
STAT=$?
if [ $STAT -ne 0 ] ; then
	echo $STAT > '/tmp/stage3-install.AbC123/quorvelInstallError'
	echo '__________________________________'
	exit $STAT
fi
if [ $BROWSERSTAT -ne 0 ] ; then
	echo $BROWSERSTAT > '/tmp/stage3-install.AbC123/quorvelInstallError'
	echo '__________________________________'
	exit $BROWSERSTAT
fi
echo Done!!!!
echo '__________________________________'
exit 0
