FILE='/media/my cd/holvane-1.2.3-4.i386.rpm'
echo rpm -Uv "$FILE"
(cd "${FILE%/*}/" && rpm -Uv "./${FILE##*/}")
STAT=$?
if [ $STAT -ne 0 ] ; then
   echo $STAT > '/tmp/stage3-install.AbC123/quorvelInstallError'
   exit $STAT
fi
FILE='/media/it'\''s "$(reboot)" `id`; $HOME/quorvel-storman-3.B-2.rpm'
[ -f '/tmp/stage3-install.AbC123/quorvelInstallSettings' ] && . '/tmp/stage3-install.AbC123/quorvelInstallSettings'
RUNNING_FROM_GUI=1
export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP RUNNING_FROM_GUI
if [ "$QRVLAUTOWEBSERVER" = "yes" ] && `ls | grep quorvel-browser > /dev/null 2>&1`; then 
	echo rpm -Uv --nodeps quorvel-browser*.rpm
	rpm -Uv --nodeps quorvel-browser*.rpm
fi
echo rpm -Uv "$FILE"
(cd "${FILE%/*}/" && rpm -Uv "./${FILE##*/}")
STAT=$?
if [ $STAT -ne 0 ] ; then
	echo $STAT > '/tmp/stage3-install.AbC123/quorvelInstallError'
	echo '__________________________________'
	exit $STAT
fi
echo Done!!!!
echo '__________________________________'
exit 0
